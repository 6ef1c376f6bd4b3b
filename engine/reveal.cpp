#include "engine/reveal.h"

#include "engine/random.h"

#include <cstddef>
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
    // The map's cells as bits, or null. A map of a large screen outgrows the processor's
    // near cache, and most draws of a late step only ask it about a pixel already shown.
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

// With scatter the draws are made in two passes over a short buffer: the first runs the
// generator and the map and notes every write, the second makes the writes in the same order,
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

template <int Bytes> bool runScatterStep(StepPlan& plan, const PixelFormat<Bytes> format) {
    using Coord = std::int32_t;
    const Coord originX = plan.originX, originY = plan.originY;
    const Coord left = static_cast<Coord>(plan.left), lastX = static_cast<Coord>(plan.lastX);
    const Coord top = static_cast<Coord>(plan.top), lastY = static_cast<Coord>(plan.lastY);
    const Coord scatter = plan.scatter;
    const std::uint32_t scatterSpan = static_cast<std::uint32_t>(2 * plan.scatter);
    const std::uint32_t rows = plan.rows, columns = plan.columns;
    const std::uint32_t boundX = plan.boundX, boundY = plan.boundY;
    const std::ptrdiff_t screenPitch = plan.screenPitch;
    const std::ptrdiff_t picturePitch = plan.picturePitch;
    std::uint8_t* const cells = plan.cells;
    std::uint32_t* const shown = plan.shown;
    const std::ptrdiff_t mapWidth = plan.mapWidth;
    const RevealStop* const stopRequested = plan.stopRequested;
    const std::uint32_t writesPerDraw = 1u + static_cast<std::uint32_t>(scatter);
    WriteBuffer<Bytes> writes(plan.screen, plan.picture, format, plan.cut, plan.backgroundKey);

    RandomGenerator random = *plan.random;
    for (std::uint32_t row = plan.firstRow; row < rows; ++row) {
        if (stopRequested != nullptr && stopRequested->requested()) {
            writes.flush();
            *plan.random = random;
            plan.stoppedAt = row;
            return false;
        }
        for (std::uint32_t column = 0; column < columns; ++column) {
            const std::uint32_t px = random.upTo(boundX);
            const std::uint32_t py = random.upTo(boundY);
            const Coord sx = originX + static_cast<Coord>(px);
            const Coord sy = originY + static_cast<Coord>(py);
            const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(py) * mapWidth + px;
            if (shown != nullptr) {
                std::uint32_t& word = shown[static_cast<std::size_t>(at) >> 5];
                const std::uint32_t bit = std::uint32_t{1} << (at & 31);
                if (word & bit)
                    continue;
                word |= bit;
            } else if (cells[at] != 0) {
                continue;
            }
            cells[at] = 1;

            if (!writes.hasRoomFor(writesPerDraw))
                writes.flush();
            const std::ptrdiff_t source = static_cast<std::ptrdiff_t>(py) * picturePitch +
                                          static_cast<std::ptrdiff_t>(px) * Bytes;
            writes.add(source, static_cast<std::ptrdiff_t>(sy) * screenPitch +
                                   static_cast<std::ptrdiff_t>(sx) * Bytes);
            for (Coord copy = 0; copy < scatter; ++copy) {
                Coord qx = sx - scatter + static_cast<Coord>(random.upTo(scatterSpan));
                qx = qx < left ? left : (qx > lastX ? lastX : qx);
                Coord qy = sy - scatter + static_cast<Coord>(random.upTo(scatterSpan));
                qy = qy < top ? top : (qy > lastY ? lastY : qy);
                writes.add(source, static_cast<std::ptrdiff_t>(qy) * screenPitch +
                                       static_cast<std::ptrdiff_t>(qx) * Bytes);
            }
        }
    }
    writes.flush();
    *plan.random = random;
    return true;
}

// Without scatter a draw takes exactly one pair of numbers from the generator, so the
// positions of the draws to come are fixed by its state alone. A step then runs the generator
// ahead of the draws, keeps the positions in a ring, and asks for their cache lines early:
// the map cell as soon as a position is known, and the picture and screen pixels a few draws
// later, once that cell has arrived and says the pixel is still hidden. The draws are made
// exactly as in runStep; a prefetch changes nothing that is written. (With scatter, a new
// pixel's copies take pairs first, and guessing the positions past them cost more than it
// saved.)
constexpr std::uint32_t pairsAhead = 32; // a power of two: the ring index is masked
constexpr std::uint32_t pixelsAhead = 16;

struct PendingPair {
    std::uint32_t stateBefore; // the generator before the pair's first number
    std::uint32_t px, py;      // the pair as a draw's position
    std::size_t cell;          // and that position's index in the reveal map
};

template <int Bytes> bool runAheadStep(StepPlan& plan, const PixelFormat<Bytes> format) {
    const std::uint32_t rows = plan.rows, columns = plan.columns;
    const std::uint32_t boundX = plan.boundX, boundY = plan.boundY;
    const std::int32_t originX = plan.originX, originY = plan.originY;
    std::uint8_t* const screen = plan.screen;
    const std::ptrdiff_t screenPitch = plan.screenPitch;
    const std::uint8_t* const picture = plan.picture;
    const std::ptrdiff_t picturePitch = plan.picturePitch;
    std::uint8_t* const cells = plan.cells;
    const std::size_t mapWidth = static_cast<std::size_t>(plan.mapWidth);
    const bool cut = plan.cut;
    const std::uint32_t backgroundKey = plan.backgroundKey;
    const RevealStop* const stopRequested = plan.stopRequested;

    PendingPair ring[pairsAhead];
    RandomGenerator ahead = *plan.random;
    std::uint32_t made = 0; // pairs put into the ring
    auto makePair = [&] {
        PendingPair& pair = ring[made++ & (pairsAhead - 1)];
        pair.stateBefore = ahead.state;
        pair.px = ahead.upTo(boundX);
        pair.py = ahead.upTo(boundY);
        pair.cell = std::size_t{pair.py} * mapWidth + pair.px;
        __builtin_prefetch(cells + pair.cell, 1);
    };
    while (made < pairsAhead)
        makePair();

    std::uint32_t used = 0; // pairs taken out of the ring
    for (std::uint32_t row = plan.firstRow; row < rows; ++row) {
        if (stopRequested != nullptr && stopRequested->requested()) {
            *plan.random = RandomGenerator{ring[used & (pairsAhead - 1)].stateBefore};
            plan.stoppedAt = row;
            return false;
        }
        for (std::uint32_t column = 0; column < columns; ++column) {
            const PendingPair& soon = ring[(used + pixelsAhead) & (pairsAhead - 1)];
            if (cells[soon.cell] == 0) {
                __builtin_prefetch(picture + static_cast<std::ptrdiff_t>(soon.py) * picturePitch +
                                   static_cast<std::ptrdiff_t>(soon.px) * Bytes);
                __builtin_prefetch(
                    screen +
                        static_cast<std::ptrdiff_t>(originY + std::int32_t(soon.py)) * screenPitch +
                        static_cast<std::ptrdiff_t>(originX + std::int32_t(soon.px)) * Bytes,
                    1);
            }
            const PendingPair draw = ring[used++ & (pairsAhead - 1)];
            makePair();

            std::uint8_t& cell = cells[draw.cell];
            if (cell != 0)
                continue;
            cell = 1;
            const SourcePixel source =
                format.read(picture + static_cast<std::ptrdiff_t>(draw.py) * picturePitch +
                            static_cast<std::ptrdiff_t>(draw.px) * Bytes);
            const bool background = cut && source.key == backgroundKey;
            const std::int32_t sx = originX + std::int32_t(draw.px);
            const std::int32_t sy = originY + std::int32_t(draw.py);
            if (!background)
                format.write(screen + static_cast<std::ptrdiff_t>(sy) * screenPitch +
                                 static_cast<std::ptrdiff_t>(sx) * Bytes,
                             source.out);
        }
    }
    // The ring holds pairs made but not taken: the generator goes back to the first of them.
    *plan.random = RandomGenerator{ring[used & (pairsAhead - 1)].stateBefore};
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

// The map's cells packed into bits; empty when memory is short, and the step then asks the
// map itself.
std::unique_ptr<std::uint32_t[]> packShown(const RevealMapView& map) {
    const std::size_t count = static_cast<std::size_t>(map.width) * map.height;
    std::unique_ptr<std::uint32_t[]> words(new (std::nothrow) std::uint32_t[(count + 31) / 32]);
    if (!words)
        return words;
    const std::uint8_t* cells = map.cells;
    std::size_t i = 0;
    for (std::size_t w = 0; w < count / 32; ++w, i += 32) {
        std::uint32_t word = 0;
        for (std::uint32_t b = 0; b < 32; ++b)
            word |= std::uint32_t{cells[i + b] != 0} << b;
        words[w] = word;
    }
    if (i < count) {
        std::uint32_t word = 0;
        for (std::uint32_t b = 0; i + b < count; ++b)
            word |= std::uint32_t{cells[i + b] != 0} << b;
        words[count / 32] = word;
    }
    return words;
}

template <int Bytes>
bool revealAtDepth(StepPlan& plan, const SurfaceView& screen, const SurfaceView& picture,
                   const RevealMapView& revealMap, const RevealOptions& options) {
    if (!viewUsable(screen, Bytes) || !viewUsable(picture, Bytes) || revealMap.cells == nullptr ||
        revealMap.width < 0 || revealMap.height < 0)
        return true;
    PixelFormat<Bytes> format{options.channelMap, options.psychedeliaLevel != 0};
    plan.cut = options.cutBackground && picture.width > 0 && picture.height > 0;
    plan.backgroundKey = plan.cut ? format.read(picture.bits).key : 0;
    if (targetFits(plan)) {
        if (plan.scatter == 0)
            return runAheadStep<Bytes>(plan, format);
        const std::unique_ptr<std::uint32_t[]> shown = packShown(revealMap);
        plan.shown = shown.get();
        return runScatterStep<Bytes>(plan, format);
    }
    return runStep<Bytes, true>(plan, format);
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
