#include "engine/reveal.h"

#include "engine/random.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

namespace {

// Largest target side whose random positions stay exact in 32-bit arithmetic.
constexpr std::int64_t largestSide = 65536;

// A source pixel as the reveal needs it: its colour as compared with the background key,
// and the bytes to write, already arranged by the channel map.
struct SourcePixel {
    std::uint32_t key;
    std::uint32_t out;
};

template <int Bytes> struct PixelFormat {
    ChannelMap map;
    bool mapped16;

    SourcePixel read(const std::uint8_t* p) const {
        if constexpr (Bytes == 2) {
            std::uint16_t value = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
            return {value, mapped16 ? mapPixel16(value, map) : value};
        } else {
            std::uint8_t arranged[3];
            placeBytes(arranged, p[0], p[1], p[2], map);
            return {(std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2],
                    arranged[0] | (std::uint32_t{arranged[1]} << 8) |
                        (std::uint32_t{arranged[2]} << 16)};
        }
    }

    static void write(std::uint8_t* p, std::uint32_t out) {
        p[0] = static_cast<std::uint8_t>(out);
        p[1] = static_cast<std::uint8_t>(out >> 8);
        if constexpr (Bytes != 2)
            p[2] = static_cast<std::uint8_t>(out >> 16); // a 32-bit pixel keeps its fourth byte
    }
};

// Everything a step needs, taken once before its loops.
struct StepPlan {
    std::uint32_t rows, columns;
    std::uint32_t boundX, boundY; // largest px and py a draw can give
    std::int32_t originX, originY;
    std::int64_t left, top, lastX, lastY; // scatter copies are clamped to these
    std::uint8_t* screen;
    std::ptrdiff_t screenPitch;
    std::int32_t screenWidth, screenHeight;
    const std::uint8_t* picture;
    std::ptrdiff_t picturePitch;
    std::int32_t pictureWidth, pictureHeight;
    std::uint8_t* cells;
    std::int32_t mapWidth, mapHeight;
    // The map's cells as bits. A map of a large screen outgrows the processor's near cache,
    // and most draws of a late step only ask it about a pixel already shown.
    std::uint32_t* shown;
    bool cut;
    std::uint32_t backgroundKey;
    std::int32_t scatter;
    const RevealStop* stopRequested;
    RandomGenerator* random;
    std::uint32_t firstRow;  // where an interrupted step goes on
    std::uint32_t stoppedAt; // the first row not drawn, when a stop request ended the step
};

// Checked is for a target that does not fit the buffers: every position is tested, and
// draws and copies that fall outside are dropped. The random sequence stays the same.
// Unchecked, it serves a step that finds no memory for the packed map.
template <int Bytes, bool Checked> bool runStep(StepPlan& plan, const PixelFormat<Bytes> format) {
    // Everything the loops use is copied into locals first: the byte writes below could
    // alias the plan, and would make the compiler reload it after every pixel.
    using Coord = std::conditional_t<Checked, std::int64_t, std::int32_t>;
    const Coord originX = static_cast<Coord>(plan.originX);
    const Coord originY = static_cast<Coord>(plan.originY);
    const Coord left = static_cast<Coord>(plan.left), lastX = static_cast<Coord>(plan.lastX);
    const Coord top = static_cast<Coord>(plan.top), lastY = static_cast<Coord>(plan.lastY);
    const Coord scatter = plan.scatter;
    const std::uint32_t scatterSpan = static_cast<std::uint32_t>(2 * plan.scatter);
    const std::uint32_t rows = plan.rows, columns = plan.columns;
    const std::uint32_t boundX = plan.boundX, boundY = plan.boundY;
    std::uint8_t* const screen = plan.screen;
    const std::ptrdiff_t screenPitch = plan.screenPitch;
    const Coord screenWidth = plan.screenWidth, screenHeight = plan.screenHeight;
    const std::uint8_t* const picture = plan.picture;
    const std::ptrdiff_t picturePitch = plan.picturePitch;
    const std::uint32_t pictureWidth = static_cast<std::uint32_t>(plan.pictureWidth);
    const std::uint32_t pictureHeight = static_cast<std::uint32_t>(plan.pictureHeight);
    std::uint8_t* const cells = plan.cells;
    const std::ptrdiff_t mapWidth = plan.mapWidth;
    const std::uint32_t mapHeight = static_cast<std::uint32_t>(plan.mapHeight);
    const bool cut = plan.cut;
    const std::uint32_t backgroundKey = plan.backgroundKey;
    const RevealStop* const stopRequested = plan.stopRequested;

    RandomGenerator random = *plan.random;
    for (std::uint32_t row = plan.firstRow; row < rows; ++row) {
        if (stopRequested != nullptr && stopRequested->requested()) {
            *plan.random = random;
            plan.stoppedAt = row;
            return false;
        }
        for (std::uint32_t column = 0; column < columns; ++column) {
            const std::uint32_t px = random.upTo(boundX);
            const std::uint32_t py = random.upTo(boundY);
            const Coord sx = originX + static_cast<Coord>(px);
            const Coord sy = originY + static_cast<Coord>(py);
            if constexpr (Checked) {
                if (px >= static_cast<std::uint32_t>(mapWidth) || py >= mapHeight ||
                    px >= pictureWidth || py >= pictureHeight || sx < 0 || sy < 0 ||
                    sx >= screenWidth || sy >= screenHeight)
                    continue;
            }
            std::uint8_t& cell = cells[static_cast<std::ptrdiff_t>(py) * mapWidth + px];
            if (cell != 0)
                continue;
            cell = 1;

            const SourcePixel source =
                format.read(picture + static_cast<std::ptrdiff_t>(py) * picturePitch +
                            static_cast<std::ptrdiff_t>(px) * Bytes);
            const bool background = cut && source.key == backgroundKey;
            if (!background)
                format.write(screen + static_cast<std::ptrdiff_t>(sy) * screenPitch +
                                 static_cast<std::ptrdiff_t>(sx) * Bytes,
                             source.out);

            // Background pixels still draw their copies' numbers, to keep the sequence.
            for (Coord copy = 0; copy < scatter; ++copy) {
                Coord qx = sx - scatter + static_cast<Coord>(random.upTo(scatterSpan));
                qx = qx < left ? left : (qx > lastX ? lastX : qx);
                Coord qy = sy - scatter + static_cast<Coord>(random.upTo(scatterSpan));
                qy = qy < top ? top : (qy > lastY ? lastY : qy);
                if (background)
                    continue;
                if constexpr (Checked) {
                    if (qx < 0 || qy < 0 || qx >= screenWidth || qy >= screenHeight)
                        continue;
                }
                format.write(screen + static_cast<std::ptrdiff_t>(qy) * screenPitch +
                                 static_cast<std::ptrdiff_t>(qx) * Bytes,
                             source.out);
            }
        }
    }
    *plan.random = random;
    return true;
}

// The draws are made in two passes over a short buffer: the first runs the generator and
// the packed map and notes every write, the second makes the writes in the same order,
// asking for the picture and screen lines of the writes a few places ahead. The first pass
// touches neither surface, so the generator is never held up by a pixel far away in memory.
struct PendingWrite {
    std::ptrdiff_t source; // byte offsets into the picture and the screen
    std::ptrdiff_t target;
};
constexpr std::uint32_t writesBuffered = 1024;
static_assert(writesBuffered >= 1 + 255, "one draw with the largest scatter fits the buffer");
constexpr std::uint32_t writesAhead = 16;

template <int Bytes> class WriteBuffer {
  public:
    WriteBuffer(std::uint8_t* screen, const std::uint8_t* picture, const PixelFormat<Bytes> format,
                bool cut, std::uint32_t backgroundKey)
        : screen_(screen), picture_(picture), format_(format), cut_(cut),
          backgroundKey_(backgroundKey) {}

    bool hasRoomFor(std::uint32_t writes) const { return count_ + writes <= writesBuffered; }
    void add(std::ptrdiff_t source, std::ptrdiff_t target) {
        pending_[count_++] = {source, target};
    }

    void flush() {
        for (std::uint32_t i = 0; i < count_; ++i) {
            if (i + writesAhead < count_) {
                __builtin_prefetch(picture_ + pending_[i + writesAhead].source);
                __builtin_prefetch(screen_ + pending_[i + writesAhead].target, 1);
            }
            const SourcePixel source = format_.read(picture_ + pending_[i].source);
            if (cut_ && source.key == backgroundKey_)
                continue;
            format_.write(screen_ + pending_[i].target, source.out);
        }
        count_ = 0;
    }

  private:
    std::uint8_t* const screen_;
    const std::uint8_t* const picture_;
    const PixelFormat<Bytes> format_;
    const bool cut_;
    const std::uint32_t backgroundKey_;
    std::uint32_t count_ = 0;
    PendingWrite pending_[writesBuffered];
};

// A draw always begins on an even number of the sequence: its position takes a pair, and
// each scatter copy of a new pixel another pair. So the position every pair would give as a
// draw can be worked out before the draws are made, a block at a time, with no draw waiting
// for the one before: the generator runs as `lanes` interleaved copies of itself (its
// jump-ahead), and the draws then only look their positions up.
constexpr std::uint32_t lanes = 8;
constexpr std::uint32_t pairsPerBlock = 1024; // a multiple of `lanes`
// Draws whose map word is asked for before they are made.
constexpr std::uint32_t shownAhead = 16;
static_assert(pairsPerBlock >= 2 * (1 + 255 + shownAhead),
              "a block holds the longest draw and the look-ahead twice");

// Four lanes in one vector register (SSE2 on the saver's processors).
typedef std::uint32_t Lanes4 __attribute__((vector_size(16)));
constexpr std::uint32_t lanesPerVector = 4;
// Positions are scaled in the vectors only up to this bound: the product of a number and the
// range then stays under 2^30, where the division by 32767 as shifts and adds is exact.
constexpr std::uint32_t largestVectorBound = 32766;

// upTo for four numbers at once: RandomGenerator::scaled of each lane's state.
inline Lanes4 scaledLanes(Lanes4 state, std::uint32_t n) {
    const Lanes4 r = (state >> 16) & 0x7FFFu;
    const Lanes4 product = r * (n + 1u);
    const Lanes4 quotient = (product + (product >> 15) + 1u) >> 15; // product / 32767
    const Lanes4 largest = reinterpret_cast<Lanes4>(r == 32767u);
    return (quotient & ~largest) | (Lanes4{n, n, n, n} & largest);
}

inline void storeLanes(std::uint32_t* to, Lanes4 values) {
    std::memcpy(to, &values, sizeof(values));
}

class PairRing {
  public:
    PairRing(std::uint32_t state, std::uint32_t boundX, std::uint32_t boundY,
             std::uint32_t mapWidth)
        : before_(state), boundX_(boundX), boundY_(boundY), mapWidth_(mapWidth) {
        for (std::uint32_t lane = 0; lane < lanes; ++lane) {
            state = state * RandomGenerator::multiplier + RandomGenerator::increment;
            laneX_[lane / lanesPerVector][lane % lanesPerVector] = state;
            state = state * RandomGenerator::multiplier + RandomGenerator::increment;
            laneY_[lane / lanesPerVector][lane % lanesPerVector] = state;
        }
    }

    // Makes the pairs up to `taken` + the ring's size; the last pair taken stays, since it
    // holds the generator's state.
    void fill(std::uint32_t taken) {
        constexpr RandomGenerator::Jump step = RandomGenerator::jump(2 * lanes);
        for (; made_ + lanes < taken + pairsPerBlock; made_ += lanes) {
            const std::uint32_t at = made_ & mask;
            for (std::uint32_t v = 0; v < lanes / lanesPerVector; ++v) {
                const std::uint32_t to = at + v * lanesPerVector;
                const Lanes4 x = laneX_[v], y = laneY_[v];
                storeLanes(xState_ + to, x);
                storeLanes(yState_ + to, y);
                const Lanes4 px = scaledLanes(x, boundX_), py = scaledLanes(y, boundY_);
                storeLanes(px_ + to, px);
                storeLanes(py_ + to, py);
                storeLanes(cell_ + to, py * mapWidth_ + px);
                laneX_[v] = x * step.multiply + step.add;
                laneY_[v] = y * step.multiply + step.add;
            }
        }
    }
    std::uint32_t made() const { return made_; }

    // The generator once `taken` pairs were taken.
    std::uint32_t stateAfter(std::uint32_t taken) const {
        return taken > 0 ? yState_[(taken - 1) & mask] : before_;
    }

    static std::uint32_t upToFrom(std::uint32_t state, std::uint32_t n) {
        return RandomGenerator::scaled(RandomGenerator::resultOf(state), n);
    }

    static constexpr std::uint32_t mask = pairsPerBlock - 1;
    // The pair's numbers, its position as a draw and that position's map cell.
    std::uint32_t xState_[pairsPerBlock], yState_[pairsPerBlock];
    std::uint32_t px_[pairsPerBlock], py_[pairsPerBlock], cell_[pairsPerBlock];

  private:
    const std::uint32_t before_; // the generator before the first pair
    std::uint32_t made_ = 0;
    const std::uint32_t boundX_, boundY_, mapWidth_;
    Lanes4 laneX_[lanes / lanesPerVector], laneY_[lanes / lanesPerVector]; // each lane's next pair
};
static_assert((pairsPerBlock & (pairsPerBlock - 1)) == 0 && pairsPerBlock % lanes == 0 &&
                  lanes % lanesPerVector == 0,
              "ring positions are masked and filled a lane set at a time");

template <int Bytes> bool runPackedStep(StepPlan& plan, const PixelFormat<Bytes> format) {
    using Coord = std::int32_t;
    const Coord originX = plan.originX, originY = plan.originY;
    const Coord left = static_cast<Coord>(plan.left), lastX = static_cast<Coord>(plan.lastX);
    const Coord top = static_cast<Coord>(plan.top), lastY = static_cast<Coord>(plan.lastY);
    const Coord scatter = plan.scatter;
    const std::uint32_t scatterSpan = static_cast<std::uint32_t>(2 * plan.scatter);
    const std::uint32_t rows = plan.rows, columns = plan.columns;
    const std::ptrdiff_t screenPitch = plan.screenPitch;
    const std::ptrdiff_t picturePitch = plan.picturePitch;
    std::uint32_t* const shown = plan.shown;
    const RevealStop* const stopRequested = plan.stopRequested;
    const std::uint32_t writesPerDraw = 1u + static_cast<std::uint32_t>(scatter);
    const std::uint32_t pairsPerDraw = 1u + static_cast<std::uint32_t>(scatter);
    WriteBuffer<Bytes> writes(plan.screen, plan.picture, format, plan.cut, plan.backgroundKey);

    PairRing pairs(plan.random->state, plan.boundX, plan.boundY,
                   static_cast<std::uint32_t>(plan.mapWidth));
    constexpr std::uint32_t mask = PairRing::mask;
    std::uint32_t next = 0; // pairs taken
    for (std::uint32_t row = plan.firstRow; row < rows; ++row) {
        if (stopRequested != nullptr && stopRequested->requested()) {
            writes.flush();
            plan.random->state = pairs.stateAfter(next);
            plan.stoppedAt = row;
            return false;
        }
        for (std::uint32_t column = 0; column < columns; ++column) {
            if (pairs.made() - next <= pairsPerDraw + shownAhead)
                pairs.fill(next);
            // Most of a late step's draws reveal nothing, so the draw a few ahead is likely
            // to take the pair that many places on.
            __builtin_prefetch(shown + (pairs.cell_[(next + shownAhead) & mask] >> 5), 1);
            const std::uint32_t at = pairs.cell_[next & mask];
            const std::uint32_t px = pairs.px_[next & mask], py = pairs.py_[next & mask];
            ++next;
            std::uint32_t& word = shown[at >> 5];
            const std::uint32_t bit = std::uint32_t{1} << (at & 31);
            if (word & bit)
                continue;
            word |= bit; // the cells follow when the step ends

            const Coord sx = originX + static_cast<Coord>(px);
            const Coord sy = originY + static_cast<Coord>(py);
            if (!writes.hasRoomFor(writesPerDraw))
                writes.flush();
            const std::ptrdiff_t source = static_cast<std::ptrdiff_t>(py) * picturePitch +
                                          static_cast<std::ptrdiff_t>(px) * Bytes;
            writes.add(source, static_cast<std::ptrdiff_t>(sy) * screenPitch +
                                   static_cast<std::ptrdiff_t>(sx) * Bytes);
            for (Coord copy = 0; copy < scatter; ++copy) {
                Coord qx =
                    sx - scatter +
                    static_cast<Coord>(PairRing::upToFrom(pairs.xState_[next & mask], scatterSpan));
                qx = qx < left ? left : (qx > lastX ? lastX : qx);
                Coord qy =
                    sy - scatter +
                    static_cast<Coord>(PairRing::upToFrom(pairs.yState_[next & mask], scatterSpan));
                qy = qy < top ? top : (qy > lastY ? lastY : qy);
                ++next;
                writes.add(source, static_cast<std::ptrdiff_t>(qy) * screenPitch +
                                       static_cast<std::ptrdiff_t>(qx) * Bytes);
            }
        }
    }
    writes.flush();
    plan.random->state = pairs.stateAfter(next);
    return true;
}

bool viewUsable(const SurfaceView& view, int bytes) {
    if (view.bits == nullptr || view.width < 0 || view.height < 0)
        return false;
    std::int64_t pitch = view.pitch < 0 ? -std::int64_t{view.pitch} : view.pitch;
    return view.height <= 1 || pitch >= std::int64_t{view.width} * bytes;
}

// True when no draw of the step can leave the buffers, so the loops need no tests.
bool targetFits(const StepPlan& plan) {
    // A target whose right or bottom lies before the origin wraps the bounds round to
    // huge numbers, which end up here too.
    const std::int64_t drawWidth = std::int64_t{plan.boundX} + 1;
    const std::int64_t drawHeight = std::int64_t{plan.boundY} + 1;
    if (drawWidth > largestSide || drawHeight > largestSide)
        return false;
    // Map cells are numbered in 32 bits.
    if (std::int64_t{plan.mapWidth} * plan.mapHeight > std::int64_t{UINT32_MAX})
        return false;
    if (drawWidth > plan.mapWidth || drawHeight > plan.mapHeight || drawWidth > plan.pictureWidth ||
        drawHeight > plan.pictureHeight)
        return false;
    if (plan.originX < 0 || plan.originY < 0 || plan.originX + drawWidth > plan.screenWidth ||
        plan.originY + drawHeight > plan.screenHeight)
        return false;
    if (plan.scatter > 0 && (plan.left < 0 || plan.top < 0 || plan.lastX >= plan.screenWidth ||
                             plan.lastY >= plan.screenHeight))
        return false;
    return true;
}

// The map's cells packed into bits, and a copy of them as they were, so that the cells a
// step reveals can be written back in address order when it ends; empty when memory is short,
// and the step then asks and marks the map itself. A step at 3840 x 2160 marks millions of
// cells, and marking them where they are drawn costs a cache miss each.
class PackedMap {
  public:
    explicit PackedMap(const RevealMapView& map)
        : cells_(map.cells),
          count_(static_cast<std::size_t>(map.width) * static_cast<std::size_t>(map.height)),
          words_((count_ + 31) / 32), bits_(new (std::nothrow) std::uint32_t[2 * words_]) {
        if (!bits_)
            return;
        std::size_t i = 0;
        for (std::size_t w = 0; w < count_ / 32; ++w, i += 32)
            bits_[w] = packWord(cells_ + i);
        if (i < count_) {
            std::uint32_t word = 0;
            for (std::uint32_t b = 0; i + b < count_; ++b)
                word |= std::uint32_t{cells_[i + b] != 0} << b;
            bits_[count_ / 32] = word;
        }
        std::memcpy(bits_.get() + words_, bits_.get(), words_ * sizeof(std::uint32_t));
    }

    std::uint32_t* bits() const { return bits_.get(); }

    // Marks the cells whose bits the step set.
    void writeBack() const {
        if (!bits_)
            return;
        const std::uint32_t* before = bits_.get() + words_;
        for (std::size_t w = 0; w < words_; ++w) {
            for (std::uint32_t added = bits_[w] & ~before[w]; added != 0; added &= added - 1)
                cells_[w * 32 + static_cast<std::size_t>(__builtin_ctz(added))] = 1;
        }
    }

  private:
    // Eight cells at a time: a nonzero byte becomes 1, and the multiply gathers the eight
    // ones into the top byte, the first cell in its lowest bit.
    static std::uint32_t packWord(const std::uint8_t* cells) {
        constexpr std::uint64_t low7 = 0x7F7F7F7F7F7F7F7Full, ones = 0x0101010101010101ull;
        constexpr std::uint64_t gather = 0x0102040810204080ull;
        std::uint32_t word = 0;
        for (std::uint32_t part = 0; part < 4; ++part) {
            std::uint64_t eight;
            std::memcpy(&eight, cells + 8 * part, sizeof(eight));
            eight = ((((eight & low7) + low7) | eight) >> 7) & ones;
            word |= static_cast<std::uint32_t>((eight * gather) >> 56) << (8 * part);
        }
        return word;
    }

    std::uint8_t* const cells_;
    const std::size_t count_, words_;
    const std::unique_ptr<std::uint32_t[]> bits_; // the bits, then their copy
};

template <int Bytes>
bool revealAtDepth(StepPlan& plan, const SurfaceView& screen, const SurfaceView& picture,
                   const RevealMapView& revealMap, const RevealOptions& options) {
    if (!viewUsable(screen, Bytes) || !viewUsable(picture, Bytes) || revealMap.cells == nullptr ||
        revealMap.width < 0 || revealMap.height < 0)
        return true;
    PixelFormat<Bytes> format{options.channelMap, options.psychedeliaLevel != 0};
    plan.cut = options.cutBackground && picture.width > 0 && picture.height > 0;
    plan.backgroundKey = plan.cut ? format.read(picture.bits).key : 0;
    if (!targetFits(plan))
        return runStep<Bytes, true>(plan, format);
    if (plan.boundX > largestVectorBound || plan.boundY > largestVectorBound)
        return runStep<Bytes, false>(plan, format);
    const PackedMap packed(revealMap);
    if (packed.bits() == nullptr)
        return runStep<Bytes, false>(plan, format);
    plan.shown = packed.bits();
    const bool finished = runPackedStep<Bytes>(plan, format);
    packed.writeBack();
    return finished;
}

} // namespace

bool revealStep(const SurfaceView& screen, std::uint32_t screenBitCount, const SurfaceView& picture,
                const TargetGeometry& target, const RevealMapView& revealMap,
                const RevealOptions& options) {
    RevealProgress whole;
    return revealStep(screen, screenBitCount, picture, target, revealMap, options, whole);
}

bool revealStep(const SurfaceView& screen, std::uint32_t screenBitCount, const SurfaceView& picture,
                const TargetGeometry& target, const RevealMapView& revealMap,
                const RevealOptions& options, RevealProgress& progress) {
    StepPlan plan{};
    const std::int64_t rows = std::int64_t{target.bottom} - target.top;
    const std::int64_t columns = std::int64_t{target.right} - target.left;
    if (rows <= 0 || columns <= 0 || progress.nextRow >= rows || !options.random) {
        progress.nextRow = 0;
        return true;
    }
    plan.firstRow = progress.nextRow;
    plan.rows = static_cast<std::uint32_t>(rows);
    plan.columns = static_cast<std::uint32_t>(columns);
    // Computed in 32 bits, as the generator takes them.
    plan.boundX =
        static_cast<std::uint32_t>(target.right) - static_cast<std::uint32_t>(target.originX) - 1u;
    plan.boundY =
        static_cast<std::uint32_t>(target.bottom) - static_cast<std::uint32_t>(target.originY) - 1u;
    plan.originX = target.originX;
    plan.originY = target.originY;
    plan.left = target.left;
    plan.top = target.top;
    plan.lastX = std::int64_t{target.right} - 1;
    plan.lastY = std::int64_t{target.bottom} - 1;
    plan.screen = screen.bits;
    plan.screenPitch = screen.pitch;
    plan.screenWidth = screen.width;
    plan.screenHeight = screen.height;
    plan.picture = picture.bits;
    plan.picturePitch = picture.pitch;
    plan.pictureWidth = picture.width;
    plan.pictureHeight = picture.height;
    plan.cells = revealMap.cells;
    plan.mapWidth = revealMap.width;
    plan.mapHeight = revealMap.height;
    plan.scatter = options.scatterCount;
    plan.stopRequested = options.stopRequested;
    plan.random = options.random;

    bool finished = true;
    switch (screenBitCount) {
    case 16:
        finished = revealAtDepth<2>(plan, screen, picture, revealMap, options);
        break;
    case 24:
        finished = revealAtDepth<3>(plan, screen, picture, revealMap, options);
        break;
    case 32:
        finished = revealAtDepth<4>(plan, screen, picture, revealMap, options);
        break;
    default:
        break;
    }
    progress.nextRow = finished ? 0 : plan.stoppedAt;
    return finished;
}
