#include "engine/water_surface.h"

#include "engine/random.h"
#include "engine/surface_heap.h"

#include <climits>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#define WATER_SSE2 1
#endif
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define WATER_AVX2 1
#endif

namespace {

// Heights and slopes wrap like the machine's 32-bit arithmetic; going through unsigned
// keeps that defined in C++ and equal to what the vector code does.
inline int32_t wrapAdd(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) + uint32_t(b));
}
inline int32_t wrapSub(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) - uint32_t(b));
}
inline int32_t wrapMul(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) * uint32_t(b));
}

// One frame's view of a surface. With current 0, next and shape are the same buffer.
struct Frame {
    const int32_t* shape; // heights[0]: the generation drawn
    int32_t* next;        // heights[current]: the older generation, replaced by the next one
    const int32_t* newer; // heights[1 - current]
    const uint32_t* source;
    uint32_t* destination;
    int32_t width;
    int32_t height;
    int32_t cells;
    int32_t shift;
};

// Subtracting the slope from each colour byte lightens one side of a wave and darkens the
// other. Clamping the slope first gives the same bytes without overflow.
inline uint32_t shadePixel(uint32_t pixel, int32_t slope) {
    int32_t d = slope < -255 ? -255 : slope > 255 ? 255 : slope;
    uint32_t out = 0;
    for (int bit = 0; bit <= 16; bit += 8) {
        int32_t c = int32_t((pixel >> bit) & 0xFF) - d;
        c = c < 0 ? 0 : c > 255 ? 255 : c;
        out |= uint32_t(c) << bit;
    }
    return out;
}

// Only the slope picks the source pixel, so inside [1, cells) is all that guards the read.
inline bool insideSource(int32_t s, int32_t cells) {
    return uint32_t(s) - 1u < uint32_t(cells - 1);
}

inline void renderCell(const Frame& f, int32_t i) {
    int32_t here = f.shape[i];
    int32_t dx = wrapSub(here, f.shape[i + 1]);
    int32_t dy = wrapSub(here, f.shape[i + f.width]);
    int32_t s = wrapAdd(wrapAdd(i, wrapMul(f.width, dy >> 3)), dx >> 3);
    if (insideSource(s, f.cells))
        f.destination[i] = shadePixel(f.source[s], dx);
}

inline void propagateCell(const Frame& f, int32_t n) {
    const int32_t* g = f.newer;
    const int32_t w = f.width;
    uint32_t sum = uint32_t(g[n - w - 1]) + uint32_t(g[n - w]) + uint32_t(g[n - w + 1]) +
                   uint32_t(g[n - 1]) + uint32_t(g[n + 1]) + uint32_t(g[n + w - 1]) +
                   uint32_t(g[n + w]) + uint32_t(g[n + w + 1]);
    int32_t v = wrapSub(int32_t(sum) >> 2, f.next[n]);
    f.next[n] = wrapSub(v, v >> f.shift);
}

// The plain form, in the order the effect is defined: the whole picture, then the waves.
void advanceReference(const Frame& f) {
    for (int32_t row = 1; row < f.height - 1; ++row)
        for (int32_t col = 1; col < f.width - 1; ++col)
            renderCell(f, row * f.width + col);
    for (int32_t row = 1; row < f.height - 1; ++row)
        for (int32_t col = 1; col < f.width - 1; ++col)
            propagateCell(f, row * f.width + col);
}

// The fast forms go row by row: drawing row r reads heights[0] rows r and r + 1, and moving
// row r on writes only row r, so drawing each row before moving it on sees exactly the
// heights the plain form sees, also when current is 0.

#if WATER_SSE2

inline __m128i loadCells(const int32_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// shadePixel for four pixels: the clamped slope becomes a darkening and a lightening byte,
// spread over blue, green and red, applied with saturation.
inline __m128i shadeSse2(__m128i pixels, __m128i slope) {
    const __m128i zero = _mm_setzero_si128();
    __m128i d = _mm_packs_epi32(slope, slope);
    d = _mm_min_epi16(_mm_max_epi16(d, _mm_set1_epi16(-255)), _mm_set1_epi16(255));
    __m128i darken = _mm_max_epi16(d, zero);
    __m128i lighten = _mm_max_epi16(_mm_sub_epi16(zero, d), zero);
    __m128i bytes = _mm_packus_epi16(darken, lighten);
    __m128i darkenBytes = _mm_unpacklo_epi8(bytes, bytes);
    darkenBytes = _mm_unpacklo_epi16(darkenBytes, darkenBytes);
    __m128i lightenBytes = _mm_unpackhi_epi8(bytes, bytes);
    lightenBytes = _mm_unpacklo_epi16(lightenBytes, lightenBytes);
    __m128i shaded = _mm_subs_epu8(_mm_adds_epu8(pixels, lightenBytes), darkenBytes);
    return _mm_and_si128(shaded, _mm_set1_epi32(0x00FFFFFF));
}

// Low 32 bits of a * b in each lane; SSE2 only multiplies the even lanes.
inline __m128i multiplyLow(__m128i a, __m128i b) {
    __m128i even = _mm_mul_epu32(a, b);
    __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                              _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
}

void renderRowSse2(const Frame& f, int32_t row) {
    const int32_t w = f.width;
    const int32_t rowStart = row * w;
    const int32_t* h = f.shape + rowStart;
    const __m128i width = _mm_set1_epi32(w);
    const __m128i cells = _mm_set1_epi32(f.cells);
    const __m128i zero = _mm_setzero_si128();
    const __m128i lanes = _mm_setr_epi32(0, 1, 2, 3);
    int32_t col = 1;
    for (; col + 4 <= w - 1; col += 4) {
        const int32_t i = rowStart + col;
        __m128i here = loadCells(h + col);
        __m128i dx = _mm_sub_epi32(here, loadCells(h + col + 1));
        __m128i dy = _mm_sub_epi32(here, loadCells(h + col + w));
        __m128i* out = reinterpret_cast<__m128i*>(f.destination + i);
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_or_si128(dx, dy), zero)) == 0xFFFF) {
            // Still water: each pixel shows its own source pixel, unshaded.
            _mm_storeu_si128(
                out, _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(f.source + i)),
                                   _mm_set1_epi32(0x00FFFFFF)));
            continue;
        }
        __m128i s = _mm_add_epi32(_mm_add_epi32(_mm_set1_epi32(i), lanes),
                                  multiplyLow(_mm_srai_epi32(dy, 3), width));
        s = _mm_add_epi32(s, _mm_srai_epi32(dx, 3));
        __m128i inside = _mm_and_si128(_mm_cmpgt_epi32(s, zero), _mm_cmpgt_epi32(cells, s));
        // Lanes pointing off the surface read pixel 0 and are not stored.
        s = _mm_and_si128(s, inside);
        uint32_t p0 = f.source[_mm_cvtsi128_si32(s)];
        uint32_t p1 = f.source[_mm_cvtsi128_si32(_mm_shuffle_epi32(s, _MM_SHUFFLE(1, 1, 1, 1)))];
        uint32_t p2 = f.source[_mm_cvtsi128_si32(_mm_shuffle_epi32(s, _MM_SHUFFLE(2, 2, 2, 2)))];
        uint32_t p3 = f.source[_mm_cvtsi128_si32(_mm_shuffle_epi32(s, _MM_SHUFFLE(3, 3, 3, 3)))];
        __m128i pixels = _mm_unpacklo_epi64(
            _mm_unpacklo_epi32(_mm_cvtsi32_si128(int(p0)), _mm_cvtsi32_si128(int(p1))),
            _mm_unpacklo_epi32(_mm_cvtsi32_si128(int(p2)), _mm_cvtsi32_si128(int(p3))));
        __m128i shaded = shadeSse2(pixels, dx);
        if (_mm_movemask_epi8(inside) != 0xFFFF)
            shaded = _mm_or_si128(_mm_and_si128(inside, shaded),
                                  _mm_andnot_si128(inside, _mm_loadu_si128(out)));
        _mm_storeu_si128(out, shaded);
    }
    for (; col < w - 1; ++col)
        renderCell(f, rowStart + col);
}

void propagateRowSse2(const Frame& f, int32_t row) {
    const int32_t w = f.width;
    const int32_t* up = f.newer + (row - 1) * w;
    const int32_t* mid = up + w;
    const int32_t* down = mid + w;
    int32_t* out = f.next + row * w;
    const __m128i shift = _mm_cvtsi32_si128(f.shift);
    int32_t col = 1;
    for (; col + 4 <= w - 1; col += 4) {
        __m128i sum = _mm_add_epi32(
            _mm_add_epi32(_mm_add_epi32(loadCells(up + col - 1), loadCells(up + col)),
                          _mm_add_epi32(loadCells(up + col + 1), loadCells(mid + col - 1))),
            _mm_add_epi32(_mm_add_epi32(loadCells(mid + col + 1), loadCells(down + col - 1)),
                          _mm_add_epi32(loadCells(down + col), loadCells(down + col + 1))));
        __m128i v = _mm_sub_epi32(_mm_srai_epi32(sum, 2), loadCells(out + col));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + col),
                         _mm_sub_epi32(v, _mm_sra_epi32(v, shift)));
    }
    for (; col < w - 1; ++col)
        propagateCell(f, row * w + col);
}

void advanceSse2(const Frame& f) {
    for (int32_t row = 1; row < f.height - 1; ++row) {
        renderRowSse2(f, row);
        propagateRowSse2(f, row);
    }
}

#endif

#if WATER_AVX2

#define WATER_AVX2_FN __attribute__((target("avx2")))

WATER_AVX2_FN inline __m256i loadCells8(const int32_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// shadePixel for eight pixels. Packing the slope with saturation, next to a row of 255s,
// gives per pixel a darkening byte, a lightening byte and a 255 that clears bits 24-31.
WATER_AVX2_FN inline __m256i shadeAvx2(__m256i pixels, __m256i slope) {
    __m256i words = _mm256_packs_epi32(slope, _mm256_set1_epi32(255));
    __m256i negated = _mm256_subs_epi16(_mm256_setzero_si256(), words);
    __m256i bytes = _mm256_packus_epi16(words, negated);
    const __m256i darken = _mm256_setr_epi8(0, 0, 0, 4, 1, 1, 1, 4, 2, 2, 2, 4, 3, 3, 3, 4, 0, 0, 0,
                                            4, 1, 1, 1, 4, 2, 2, 2, 4, 3, 3, 3, 4);
    const __m256i lighten =
        _mm256_setr_epi8(8, 8, 8, -1, 9, 9, 9, -1, 10, 10, 10, -1, 11, 11, 11, -1, 8, 8, 8, -1, 9,
                         9, 9, -1, 10, 10, 10, -1, 11, 11, 11, -1);
    return _mm256_subs_epu8(_mm256_adds_epu8(pixels, _mm256_shuffle_epi8(bytes, lighten)),
                            _mm256_shuffle_epi8(bytes, darken));
}

WATER_AVX2_FN void renderRowAvx2(const Frame& f, int32_t row) {
    const int32_t w = f.width;
    const int32_t rowStart = row * w;
    const int32_t* h = f.shape + rowStart;
    const __m256i width = _mm256_set1_epi32(w);
    const __m256i cells = _mm256_set1_epi32(f.cells);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i eight = _mm256_set1_epi32(8);
    const __m256i notBelowSixteen = _mm256_set1_epi32(~15);
    const __m256i colourMask = _mm256_set1_epi32(0x00FFFFFF);
    const int* source = reinterpret_cast<const int*>(f.source);
    uint32_t* const destination = f.destination;
    if (w < 10) {
        // Rows narrower than one vector.
        for (int32_t col = 1; col < w - 1; ++col)
            renderCell(f, rowStart + col);
        return;
    }
    // The last vector ends on the last interior cell, overlapping the one before: drawing a
    // cell twice gives the same pixel.
    const int32_t last = w - 9;
    for (int32_t start = 1; start < w - 1; start += 8) {
        const int32_t col = start < last ? start : last;
        const int32_t i = rowStart + col;
        __m256i here = loadCells8(h + col);
        __m256i dx = _mm256_sub_epi32(here, loadCells8(h + col + 1));
        __m256i dy = _mm256_sub_epi32(here, loadCells8(h + col + w));
        int* out = reinterpret_cast<int*>(destination + i);
        const uint32_t* at = reinterpret_cast<const uint32_t*>(source) + i;
        if (_mm256_testz_si256(_mm256_or_si256(dx, dy), _mm256_or_si256(dx, dy))) {
            // Still water: each pixel shows its own source pixel, unshaded.
            _mm256_storeu_si256(
                reinterpret_cast<__m256i*>(out),
                _mm256_and_si256(loadCells8(reinterpret_cast<const int32_t*>(at)), colourMask));
            continue;
        }
        const __m256i stepX = _mm256_srai_epi32(dx, 3);
        const __m256i stepY = _mm256_srai_epi32(dy, 3);
        __m256i s;
        __m256i inside;
        __m256i pixels;
        if (_mm256_testz_si256(
                _mm256_or_si256(_mm256_add_epi32(dx, eight), _mm256_add_epi32(dy, eight)),
                notBelowSixteen)) {
            // Gentle slopes, the bulk of a ripple: each lane shows its own pixel or the one
            // left of, above or above-left of it. Four plain loads and a choice per lane cost
            // far less than the gather, which is slow on some processors. Here the index can
            // leave the surface only at 0.
            s = _mm256_add_epi32(_mm256_add_epi32(_mm256_set1_epi32(i), lanes), stepX);
            s = _mm256_sub_epi32(s, _mm256_and_si256(stepY, width));
            inside = _mm256_cmpgt_epi32(s, zero);
            __m256i level =
                _mm256_blendv_epi8(loadCells8(reinterpret_cast<const int32_t*>(at)),
                                   loadCells8(reinterpret_cast<const int32_t*>(at - 1)), stepX);
            __m256i above =
                _mm256_blendv_epi8(loadCells8(reinterpret_cast<const int32_t*>(at - w)),
                                   loadCells8(reinterpret_cast<const int32_t*>(at - w - 1)), stepX);
            pixels = _mm256_blendv_epi8(level, above, stepY);
        } else {
            s = _mm256_add_epi32(_mm256_add_epi32(_mm256_set1_epi32(i), lanes),
                                 _mm256_mullo_epi32(stepY, width));
            s = _mm256_add_epi32(s, stepX);
            inside = _mm256_and_si256(_mm256_cmpgt_epi32(s, zero), _mm256_cmpgt_epi32(cells, s));
            pixels = _mm256_mask_i32gather_epi32(zero, source, s, inside, 4);
        }
        __m256i shaded = shadeAvx2(pixels, dx);
        if (_mm256_movemask_ps(_mm256_castsi256_ps(inside)) == 0xFF)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), shaded);
        else
            _mm256_maskstore_epi32(out, inside, shaded);
    }
}

WATER_AVX2_FN inline __m256i propagateCells8(const int32_t* up, const int32_t* mid,
                                             const int32_t* down, const int32_t* out, __m128i shift,
                                             int32_t col) {
    __m256i sum = _mm256_add_epi32(
        _mm256_add_epi32(_mm256_add_epi32(loadCells8(up + col - 1), loadCells8(up + col)),
                         _mm256_add_epi32(loadCells8(up + col + 1), loadCells8(mid + col - 1))),
        _mm256_add_epi32(_mm256_add_epi32(loadCells8(mid + col + 1), loadCells8(down + col - 1)),
                         _mm256_add_epi32(loadCells8(down + col), loadCells8(down + col + 1))));
    __m256i v = _mm256_sub_epi32(_mm256_srai_epi32(sum, 2), loadCells8(out + col));
    return _mm256_sub_epi32(v, _mm256_sra_epi32(v, shift));
}

WATER_AVX2_FN inline __m256i columnSums8(const int32_t* up, const int32_t* mid, const int32_t* down,
                                         int32_t col) {
    return _mm256_add_epi32(_mm256_add_epi32(loadCells8(up + col), loadCells8(mid + col)),
                            loadCells8(down + col));
}

WATER_AVX2_FN void propagateRowAvx2(const Frame& f, int32_t row) {
    const int32_t w = f.width;
    if (w < 10) {
        for (int32_t col = 1; col < w - 1; ++col)
            propagateCell(f, row * w + col);
        return;
    }
    const int32_t* up = f.newer + (row - 1) * w;
    const int32_t* mid = up + w;
    const int32_t* down = mid + w;
    int32_t* out = f.next + row * w;
    const __m128i shift = _mm_cvtsi32_si128(f.shift);
    // The last vector ends on the last interior cell. Its heights are worked out first and
    // stored last, as the vectors before may overlap it: a cell moved on twice would not
    // come out the same.
    const int32_t last = w - 9;
    const __m256i lastCells = propagateCells8(up, mid, down, out, shift, last);
    if (1 < last) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 1),
                            propagateCells8(up, mid, down, out, shift, 1));
        // Column sums of the three rows are loaded once, right of each vector's cells; the
        // sums at and left of them are spliced from these and the previous vector's.
        __m256i previous = columnSums8(up, mid, down, 2);
        for (int32_t col = 9; col < last; col += 8) {
            const __m256i right = columnSums8(up, mid, down, col + 1);
            const __m256i between = _mm256_permute2x128_si256(previous, right, 0x21);
            const __m256i atCol = _mm256_alignr_epi8(right, between, 12);
            const __m256i left = _mm256_alignr_epi8(right, between, 8);
            __m256i sum = _mm256_sub_epi32(_mm256_add_epi32(_mm256_add_epi32(left, atCol), right),
                                           loadCells8(mid + col));
            __m256i v = _mm256_sub_epi32(_mm256_srai_epi32(sum, 2), loadCells8(out + col));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + col),
                                _mm256_sub_epi32(v, _mm256_sra_epi32(v, shift)));
            previous = right;
        }
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + last), lastCells);
}

WATER_AVX2_FN void advanceAvx2(const Frame& f) {
    for (int32_t row = 1; row < f.height - 1; ++row) {
        renderRowAvx2(f, row);
        propagateRowAvx2(f, row);
    }
}

bool cpuHasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

#endif

// A size whose byte count and cell indexes fit 32 bits.
bool acceptableSize(int32_t w, int32_t h) {
    return w > 0 && h > 0 && int64_t(w) * h <= INT32_MAX / 4;
}

} // namespace

bool advanceKernelAvailable(AdvanceKernel kernel) {
    switch (kernel) {
    case AdvanceKernel::reference:
        return true;
    case AdvanceKernel::sse2:
#if WATER_SSE2
        return true;
#else
        return false;
#endif
    case AdvanceKernel::avx2: {
#if WATER_AVX2
        return cpuHasAvx2();
#else
        return false;
#endif
    }
    }
    return false;
}

AdvanceKernel fastestAdvanceKernel() {
    return advanceKernelAvailable(AdvanceKernel::avx2)   ? AdvanceKernel::avx2
           : advanceKernelAvailable(AdvanceKernel::sse2) ? AdvanceKernel::sse2
                                                         : AdvanceKernel::reference;
}

WaterSurface::~WaterSurface() {
    release();
}

bool WaterSurface::init(int32_t newWidth, int32_t newHeight) {
    if (!acceptableSize(newWidth, newHeight))
        return false;
    SurfaceHeap& heap = *heap_;
    if (!heap.open())
        return false;
    // A surface that already holds buffers is counted once, however often it is sized.
    const bool counted = ready();
    if (counted) {
        heap.free(heights[0]);
        heap.free(heights[1]);
        heights[0] = heights[1] = nullptr;
    }
    const std::size_t bytes = std::size_t(newWidth) * std::size_t(newHeight) * sizeof(int32_t);
    void* first = heap.allocate(bytes);
    void* second = first ? heap.allocate(bytes) : nullptr;
    if (second == nullptr) {
        // No half-made surface: give back what was had, and the heap if no surface is left.
        if (first)
            heap.free(first);
        if (counted)
            heap.surfaceRemoved();
        else
            heap.closeIfUnused();
        return false;
    }
    if (!counted)
        heap.surfaceAdded();
    std::memset(first, 0, bytes);
    std::memset(second, 0, bytes);
    heights[0] = static_cast<int32_t*>(first);
    heights[1] = static_cast<int32_t*>(second);
    width = newWidth;
    height = newHeight;
    current = 0;
    return true;
}

void WaterSurface::clear() {
    if (!ready())
        return;
    const std::size_t bytes = std::size_t(width) * std::size_t(height) * sizeof(int32_t);
    std::memset(heights[0], 0, bytes);
    std::memset(heights[1], 0, bytes);
}

void WaterSurface::addDrop(int32_t x, int32_t y, int32_t radius, int32_t strength, int32_t buffer,
                           RandomGenerator& random) {
    if (!ready())
        return;
    const int64_t r = radius;
    if (x < 0 || y < 0) {
        // Random centres keep the whole disc off the border; without room for it (which
        // would also divide by zero) there is no drop.
        const int64_t spanX = int64_t(width) - 2 * r - 1;
        const int64_t spanY = int64_t(height) - 2 * r - 1;
        if ((x < 0 && spanX <= 0) || (y < 0 && spanY <= 0))
            return;
        if (x < 0)
            x = int32_t(int64_t(random.next()) % spanX + r + 1);
        if (y < 0)
            y = int32_t(int64_t(random.next()) % spanY + r + 1);
    }
    int32_t* cells = heights[buffer != 0 ? 1 : 0];
    // Only offsets that land on interior cells are visited, so a huge radius or a centre
    // far off the surface costs nothing.
    const int64_t rowFirst = -r > 1 - int64_t(y) ? -r : 1 - int64_t(y);
    const int64_t rowLast = r - 1 < height - 2 - int64_t(y) ? r - 1 : height - 2 - int64_t(y);
    const int64_t colFirst = -r > 1 - int64_t(x) ? -r : 1 - int64_t(x);
    const int64_t colLast = r - 1 < width - 2 - int64_t(x) ? r - 1 : width - 2 - int64_t(x);
    const uint64_t limit = uint64_t(r * r);
    for (int64_t j = rowFirst; j <= rowLast; ++j) {
        int32_t* rowCells = cells + (y + j) * width + x;
        for (int64_t k = colFirst; k <= colLast; ++k)
            if (uint64_t(j * j) + uint64_t(k * k) < limit)
                rowCells[k] = wrapAdd(rowCells[k], strength);
    }
}

void WaterSurface::advance(const uint32_t* source, uint32_t* destination) {
    advanceWith(chosenKernel, source, destination);
}

void WaterSurface::advanceWith(AdvanceKernel kernel, const uint32_t* source,
                               uint32_t* destination) {
    if (!ready() || source == nullptr || destination == nullptr)
        return;
    const int32_t older = current != 0 ? 1 : 0;
    Frame frame;
    frame.shape = heights[0];
    frame.next = heights[older];
    frame.newer = heights[1 - older];
    frame.source = source;
    frame.destination = destination;
    frame.width = width;
    frame.height = height;
    frame.cells = width * height;
    frame.shift = dampingShift < 0 ? 0 : dampingShift > 31 ? 31 : dampingShift;
    if (!advanceKernelAvailable(kernel))
        kernel = AdvanceKernel::reference;
    switch (kernel) {
#if WATER_AVX2
    case AdvanceKernel::avx2:
        advanceAvx2(frame);
        break;
#endif
#if WATER_SSE2
    case AdvanceKernel::sse2:
        advanceSse2(frame);
        break;
#endif
    default:
        advanceReference(frame);
        break;
    }
    current = 1 - older;
}

void WaterSurface::release() {
    if (!ready())
        return;
    heap_->free(heights[0]);
    heap_->free(heights[1]);
    heights[0] = heights[1] = nullptr;
    heap_->surfaceRemoved();
}
