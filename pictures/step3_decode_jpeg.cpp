#include "pictures/step3_decode_jpeg.h"

#include "pictures/step2_check_picture.h"
#include "pictures/step4_orient.h"
#include "pictures/step5_fit_rect.h"

// jpeglib.h needs FILE and size_t declared first.
#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

namespace {

constexpr std::uint32_t eighths = 8;
constexpr std::uint64_t coefficientBytesPerBlock = 64 * sizeof(JCOEF);

// libjpeg reports errors through a longjmp. It lands in guarded(), whose frame, like every
// frame between it and the library, holds no object with a destructor: nothing of C++ is
// skipped. Only POD state lives here.
struct ErrorExit {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void jumpOut(j_common_ptr info) {
    auto* exit = reinterpret_cast<ErrorExit*>(info->err);
    (*info->err->format_message)(info, exit->message);
    std::longjmp(exit->jump, 1);
}

// Warnings that leave the pixels whole: stray bytes before a marker, which many cameras
// write, and odd header details.
bool harmless(int code) {
    return code == JWRN_EXTRANEOUS_DATA || code == JWRN_JFIF_MAJOR || code == JWRN_ADOBE_XFORM ||
           code == JWRN_BOGUS_ICC;
}

// Any other warning means corrupt or missing data: the picture ends like a broken file.
void onMessage(j_common_ptr info, int level) {
    if (level < 0 && !harmless(info->err->msg_code))
        jumpOut(info);
}

std::uint8_t clampByte(std::uint32_t value) {
    return static_cast<std::uint8_t>(value > 255 ? 255 : value);
}

} // namespace

struct JpegDecoder::State {
    jpeg_decompress_struct info;
    ErrorExit error;
    bool created = false;
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    std::uint32_t scale = eighths;
    std::uint64_t bytes = 0;
    bool planned = false;
    std::uint32_t* out = nullptr;
};

namespace {

using Step = void (*)(JpegDecoder::State&);

// Runs one step of libjpeg calls; false when the library ended it with an error.
bool guarded(JpegDecoder::State& s, Step step) {
    if (setjmp(s.error.jump) != 0)
        return false;
    step(s);
    return true;
}

void readHeader(JpegDecoder::State& s) {
    jpeg_create_decompress(&s.info);
    s.created = true;
    jpeg_mem_src(&s.info, s.data, static_cast<unsigned long>(s.size));
    if (jpeg_read_header(&s.info, TRUE) != JPEG_HEADER_OK)
        ERREXIT(&s.info, JERR_NO_IMAGE);
}

// The coefficients a decoding in several scans keeps for the whole picture, padded to whole
// MCUs as the library pads them.
std::uint64_t coefficientBytes(const jpeg_decompress_struct& info) {
    std::uint64_t bytes = 0;
    for (int i = 0; i < info.num_components; ++i) {
        const jpeg_component_info& c = info.comp_info[i];
        const std::uint64_t across =
            (c.width_in_blocks + c.h_samp_factor - 1) / c.h_samp_factor * c.h_samp_factor;
        const std::uint64_t down =
            (c.height_in_blocks + c.v_samp_factor - 1) / c.v_samp_factor * c.v_samp_factor;
        bytes += across * down * coefficientBytesPerBlock;
    }
    return bytes;
}

void chooseOutput(JpegDecoder::State& s) {
    jpeg_decompress_struct& info = s.info;
    info.scale_num = s.scale;
    info.scale_denom = eighths;
    // CMYK and YCCK come out as CMYK and are turned into RGB row by row.
    const bool inks = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = inks ? JCS_CMYK : JCS_EXT_BGRX;
    info.dct_method = JDCT_ISLOW;
    jpeg_calc_output_dimensions(&info);
    s.bytes = jpegDecodeBytes(info.output_width, info.output_height,
                              jpeg_has_multiple_scans(&info) ? coefficientBytes(info) : 0);
}

// Photoshop, the usual writer of CMYK files (it marks them with an Adobe segment), stores the
// inks inverted.
void inksToRgb(const JSAMPLE* inks, std::uint32_t count, bool inverted, std::uint32_t* out) {
    for (std::uint32_t x = 0; x < count; ++x, inks += 4) {
        std::uint32_t c = inks[0], m = inks[1], y = inks[2], k = inks[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        const std::uint32_t r = clampByte((c * k + 127) / 255);
        const std::uint32_t g = clampByte((m * k + 127) / 255);
        const std::uint32_t b = clampByte((y * k + 127) / 255);
        out[x] = r << 16 | g << 8 | b;
    }
}

void decodeRows(JpegDecoder::State& s) {
    jpeg_decompress_struct& info = s.info;
    info.mem->max_memory_to_use = static_cast<long>(decodedPictureBudgetBytes);
    jpeg_start_decompress(&info);
    const std::uint32_t width = info.output_width;
    const bool inks = info.out_color_space == JCS_CMYK;
    JSAMPARRAY inkRow = inks ? (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info),
                                                         JPOOL_IMAGE, width * 4, 1)
                             : nullptr;
    while (info.output_scanline < info.output_height) {
        std::uint32_t* row = s.out + static_cast<std::size_t>(info.output_scanline) * width;
        if (inks) {
            if (jpeg_read_scanlines(&info, inkRow, 1) == 1)
                inksToRgb(inkRow[0], width, info.saw_Adobe_marker, row);
        } else {
            JSAMPROW rows[1] = {reinterpret_cast<JSAMPROW>(row)};
            jpeg_read_scanlines(&info, rows, 1);
        }
    }
    jpeg_finish_decompress(&info);
}

} // namespace

std::uint32_t jpegScaleEighths(std::uint32_t width, std::uint32_t height, std::uint32_t orientation,
                               std::uint32_t fitWidth, std::uint32_t fitHeight) {
    for (std::uint32_t n = 1; n < eighths; ++n) {
        // Sizes as the library rounds them: up.
        const std::uint64_t w = (static_cast<std::uint64_t>(width) * n + eighths - 1) / eighths;
        const std::uint64_t h = (static_cast<std::uint64_t>(height) * n + eighths - 1) / eighths;
        std::uint32_t shownWidth = 0, shownHeight = 0;
        orientedSize(orientation, static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h),
                     shownWidth, shownHeight);
        const SourceRect crop =
            fitSourceRect(static_cast<int>(shownWidth), static_cast<int>(shownHeight),
                          static_cast<int>(fitWidth), static_cast<int>(fitHeight), 0, 0);
        if (!crop.empty() && static_cast<std::uint32_t>(crop.width) >= fitWidth &&
            static_cast<std::uint32_t>(crop.height) >= fitHeight)
            return n;
    }
    return eighths;
}

std::uint64_t jpegDecodeBytes(std::uint32_t outWidth, std::uint32_t outHeight,
                              std::uint64_t coefficientBytes) {
    return static_cast<std::uint64_t>(outWidth) * outHeight * 4 + coefficientBytes;
}

JpegDecoder::JpegDecoder(const unsigned char* data, std::size_t size) : state_(new State{}) {
    state_->data = data;
    state_->size = size;
    state_->info.err = jpeg_std_error(&state_->error.manager);
    state_->error.manager.error_exit = jumpOut;
    state_->error.manager.emit_message = onMessage;
}

JpegDecoder::~JpegDecoder() {
    if (state_->created)
        jpeg_destroy_decompress(&state_->info);
}

bool JpegDecoder::plan(std::uint32_t orientation, std::uint32_t fitWidth, std::uint32_t fitHeight) {
    if (!state_->data || state_->size == 0 || !guarded(*state_, readHeader))
        return false;
    state_->scale = jpegScaleEighths(state_->info.image_width, state_->info.image_height,
                                     orientation, fitWidth, fitHeight);
    state_->planned = guarded(*state_, chooseOutput) && state_->bytes <= decodedPictureBudgetBytes;
    return state_->planned;
}

std::uint32_t JpegDecoder::width() const {
    return state_->info.output_width;
}

std::uint32_t JpegDecoder::height() const {
    return state_->info.output_height;
}

std::uint32_t JpegDecoder::scaleEighths() const {
    return state_->scale;
}

std::uint64_t JpegDecoder::bytesHeld() const {
    return state_->bytes;
}

bool JpegDecoder::decode(std::uint32_t* out) {
    if (!out || !state_->planned)
        return false;
    state_->planned = false; // one decoding per plan
    state_->out = out;
    return guarded(*state_, decodeRows);
}

const char* JpegDecoder::failure() const {
    return state_->error.message;
}
