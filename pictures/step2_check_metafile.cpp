#include "pictures/byte_reader.h"
#include "pictures/step2_check_picture.h"

namespace {

constexpr std::uint32_t headerMinBytes = 88;
constexpr std::uint32_t recordHeaderBytes = 8;
constexpr std::uint32_t stockObjectFlag = 0x80000000u;
constexpr std::uint32_t lastStockObject = 19; // DC_PEN

enum Record : std::uint32_t {
    header = 1,
    polyBezier = 2,
    polygon = 3,
    polyline = 4,
    polyBezierTo = 5,
    polylineTo = 6,
    polyPolyline = 7,
    polyPolygon = 8,
    endOfFile = 14,
    selectObject = 37,
    createPen = 38,
    createBrushIndirect = 39,
    deleteObject = 40,
    selectPalette = 48,
    createPalette = 49,
    setPaletteEntries = 50,
    resizePalette = 51,
    polyDraw = 56,
    gdiComment = 70,
    fillRegion = 71,
    frameRegion = 72,
    invertRegion = 73,
    paintRegion = 74,
    extSelectClipRegion = 75,
    bitBlt = 76,
    stretchBlt = 77,
    maskBlt = 78,
    plgBlt = 79,
    setDIBitsToDevice = 80,
    stretchDIBits = 81,
    extCreateFontIndirect = 82,
    extTextOutA = 83,
    extTextOutW = 84,
    polyBezier16 = 85,
    polygon16 = 86,
    polyline16 = 87,
    polyBezierTo16 = 88,
    polylineTo16 = 89,
    polyPolyline16 = 90,
    polyPolygon16 = 91,
    polyDraw16 = 92,
    createMonoBrush = 93,
    createDibPatternBrush = 94,
    extCreatePen = 95,
    polyTextOutA = 96,
    polyTextOutW = 97,
    setIcmProfileA = 112,
    setIcmProfileW = 113,
    alphaBlend = 114,
    transparentBlt = 116,
    gradientFill = 118,
    colorCorrectPalette = 111,
    createColorSpace = 99,
    setColorSpace = 100,
    deleteColorSpace = 101,
    createColorSpaceW = 122,
    smallTextOut = 108,
};

constexpr std::uint32_t textOptionsPdy = 0x2000;
constexpr std::uint32_t smallTextNoRect = 0x0100;
constexpr std::uint32_t smallTextEightBit = 0x0200;
constexpr std::uint32_t dibPaletteIndices = 1;
constexpr std::uint32_t gradientTriangles = 2;

// One record's bytes and the header's handle count.
class RecordCheck {
  public:
    RecordCheck(const ByteReader& record, std::uint32_t handles) : r_(record), handles_(handles) {}

    bool atLeast(std::uint64_t bytes) const { return r_.size() >= bytes; }
    std::uint32_t get(std::uint64_t at) const {
        std::uint32_t v = 0;
        r_.le32(at, v);
        return v;
    }
    // An index into the handle table that a record fills; 0 is the metafile itself.
    bool newObject(std::uint64_t at) const {
        const std::uint32_t index = get(at);
        return atLeast(at + 4) && index >= 1 && index < handles_;
    }
    // An object a record uses: one in the table, or a stock object.
    bool usedObject(std::uint64_t at) const {
        const std::uint32_t index = get(at);
        if (!atLeast(at + 4))
            return false;
        if (index & stockObjectFlag)
            return (index & ~stockObjectFlag) <= lastStockObject;
        return index >= 1 && index < handles_;
    }
    // `count` items of `itemBytes` from `at`, inside the record.
    bool items(std::uint64_t at, std::uint64_t count, std::uint64_t itemBytes) const {
        return r_.holds(at, count * itemBytes) && count <= 0xFFFFFFFFull;
    }
    // A bitmap the record carries: header at offBmi within cbBmi, pixels at offBits within
    // cbBits, as its fields at `fields` say. No bitmap at all is allowed where `optional`.
    bool bitmap(std::uint64_t fields, std::uint32_t usage, bool optional,
                std::uint32_t rowsNeeded = 0) const {
        if (!atLeast(fields + 16))
            return false;
        const std::uint32_t offBmi = get(fields), cbBmi = get(fields + 4);
        const std::uint32_t offBits = get(fields + 8), cbBits = get(fields + 12);
        if (cbBmi == 0 && optional)
            return true;
        if (cbBmi == 0 || cbBits == 0 || offBits == 0 || !r_.holds(offBmi, cbBmi) ||
            !r_.holds(offBits, cbBits))
            return false;
        DibDescription dib;
        return readDib(r_.data(), r_.size(), offBmi, cbBmi, offBits, cbBits,
                       usage == dibPaletteIndices ? 2 : 4, rowsNeeded, dib);
    }
    // Region data: a 32-byte header and its rectangles inside `bytes` from `at`.
    bool region(std::uint64_t at, std::uint32_t bytes) const {
        if (!r_.holds(at, bytes))
            return false;
        if (bytes == 0)
            return true;
        const std::uint32_t count = get(at + 8);
        return bytes >= 32 && count <= (bytes - 32) / 16;
    }
    // Points of a poly record: a count at 24, the points of `pointBytes` each after it.
    bool points(std::uint32_t pointBytes) const {
        return atLeast(28) && items(28, get(24), pointBytes);
    }
    // Polygons: their number at 24, the point count at 28, then the counts and the points.
    bool polyPoints(std::uint32_t pointBytes) const {
        if (!atLeast(32))
            return false;
        const std::uint64_t polygons = get(24), total = get(28);
        if (!items(32, polygons, 4) || !items(32 + polygons * 4, total, pointBytes))
            return false;
        std::uint64_t sum = 0;
        for (std::uint64_t i = 0; i < polygons; ++i)
            sum += get(32 + i * 4);
        return sum <= total;
    }
    // Text of an ExtTextOut record, its EMRTEXT at 36.
    bool text(std::uint32_t charBytes) const {
        if (!atLeast(76))
            return false;
        const std::uint32_t chars = get(44), offString = get(48), options = get(52),
                            offDx = get(72);
        if (chars == 0)
            return true;
        const std::uint64_t dxItems = options & textOptionsPdy ? 2ull * chars : chars;
        return items(offString, chars, charBytes) && (offDx == 0 || items(offDx, dxItems, 4));
    }
    // Gradient vertices, then rectangles (two indices) or triangles (three), every index
    // naming a vertex.
    bool gradient() const {
        if (!atLeast(36))
            return false;
        const std::uint64_t vertices = get(24), shapes = get(28);
        const std::uint64_t corners = get(32) == gradientTriangles ? 3 : 2;
        const std::uint64_t shapesAt = 36 + vertices * 16;
        if (!items(36, vertices, 16) || !items(shapesAt, shapes, corners * 4))
            return false;
        for (std::uint64_t i = 0; i < shapes * corners; ++i)
            if (get(shapesAt + i * 4) >= vertices)
                return false;
        return true;
    }
    bool smallText() const {
        if (!atLeast(36))
            return false;
        const std::uint32_t chars = get(16), options = get(20);
        const std::uint64_t textAt = options & smallTextNoRect ? 36 : 52;
        return items(textAt, chars, options & smallTextEightBit ? 1 : 2);
    }

  private:
    ByteReader r_;
    std::uint32_t handles_;
};

bool recordContentFits(std::uint32_t type, const RecordCheck& c) {
    switch (type) {
    case polyBezier:
    case polygon:
    case polyline:
    case polyBezierTo:
    case polylineTo:
        return c.points(8);
    case polyBezier16:
    case polygon16:
    case polyline16:
    case polyBezierTo16:
    case polylineTo16:
        return c.points(4);
    case polyPolyline:
    case polyPolygon:
        return c.polyPoints(8);
    case polyPolyline16:
    case polyPolygon16:
        return c.polyPoints(4);
    case polyDraw:
        return c.points(8) && c.items(28 + 8ull * c.get(24), c.get(24), 1);
    case polyDraw16:
        return c.points(4) && c.items(28 + 4ull * c.get(24), c.get(24), 1);
    case selectObject:
    case deleteObject:
    case selectPalette:
        return c.atLeast(12) && c.usedObject(8);
    case createPen:
        return c.atLeast(28) && c.newObject(8);
    case createBrushIndirect:
        return c.atLeast(24) && c.newObject(8);
    case extCreateFontIndirect:
        return c.atLeast(104) && c.newObject(8);
    case createPalette: {
        std::uint32_t entries = c.get(12) >> 16;
        return c.atLeast(16) && c.newObject(8) && c.items(16, entries, 4);
    }
    case setPaletteEntries:
        return c.atLeast(20) && c.usedObject(8) && c.items(20, c.get(16), 4);
    case resizePalette:
        return c.atLeast(16) && c.usedObject(8);
    case createColorSpace:
    case createColorSpaceW:
    case setColorSpace:
    case deleteColorSpace:
        return c.atLeast(12) && c.newObject(8);
    case gdiComment:
        return c.atLeast(12) && c.items(12, c.get(8), 1);
    case fillRegion:
        return c.atLeast(32) && c.usedObject(28) && c.region(32, c.get(24));
    case frameRegion:
        return c.atLeast(40) && c.usedObject(28) && c.region(40, c.get(24));
    case invertRegion:
    case paintRegion:
        return c.atLeast(28) && c.region(28, c.get(24));
    case extSelectClipRegion:
        return c.atLeast(16) && c.region(16, c.get(8));
    case bitBlt:
        return c.atLeast(100) && c.bitmap(84, c.get(80), true);
    case stretchBlt:
    case alphaBlend:
    case transparentBlt:
        return c.atLeast(108) && c.bitmap(84, c.get(80), true);
    case maskBlt:
        return c.atLeast(128) && c.bitmap(84, c.get(80), true) && c.bitmap(112, c.get(108), true);
    case plgBlt:
        return c.atLeast(140) && c.bitmap(96, c.get(92), false) && c.bitmap(124, c.get(120), true);
    case setDIBitsToDevice:
        return c.atLeast(76) && c.bitmap(48, c.get(64), false, c.get(72));
    case stretchDIBits:
        return c.atLeast(80) && c.bitmap(48, c.get(64), false);
    case createMonoBrush:
    case createDibPatternBrush:
        return c.atLeast(32) && c.newObject(8) && c.bitmap(16, c.get(12), false);
    case extCreatePen:
        return c.atLeast(52) && c.newObject(8) && c.items(52, c.get(48), 4) &&
               c.bitmap(12, 0, true);
    case extTextOutA:
        return c.text(1);
    case extTextOutW:
        return c.text(2);
    case smallTextOut:
        return c.smallText();
    case gradientFill:
        return c.gradient();
    case setIcmProfileA:
    case setIcmProfileW:
        return c.atLeast(20) && c.items(20, static_cast<std::uint64_t>(c.get(12)) + c.get(16), 1);
    case colorCorrectPalette:
        return c.atLeast(24) && c.usedObject(8);
    case polyTextOutA:
    case polyTextOutW:
        // Rare records whose contents are not checked are not played at all.
        return false;
    default:
        return true;
    }
}

} // namespace

PictureCheck checkMetafile(const unsigned char* data, std::size_t size) {
    PictureCheck check;
    const ByteReader file(data, size);
    if (!contentIs(FormatEmf, data, size))
        return check;
    std::uint32_t headerSize = 0, totalBytes = 0, handles = 0, descriptionChars = 0,
                  descriptionAt = 0;
    file.le32(4, headerSize);
    file.le32(48, totalBytes);
    file.le16(56, handles);
    file.le32(60, descriptionChars);
    file.le32(64, descriptionAt);
    if (headerSize < headerMinBytes || headerSize % 4 != 0 || totalBytes > size ||
        headerSize > totalBytes || handles < 1 || handles > maxMetafileHandles)
        return check;
    const ByteReader head = file.part(0, headerSize);
    if (descriptionChars != 0 && !head.holds(descriptionAt, 2ull * descriptionChars))
        return check;

    const ByteReader metafile = file.part(0, totalBytes);
    std::uint64_t at = 0;
    while (metafile.holds(at, recordHeaderBytes)) {
        std::uint32_t type = 0, recordSize = 0;
        metafile.le32(at, type);
        metafile.le32(at + 4, recordSize);
        if (recordSize < recordHeaderBytes || recordSize % 4 != 0 ||
            !metafile.holds(at, recordSize))
            return check;
        const ByteReader record = metafile.part(at, recordSize);
        if (type == header && at != 0)
            return check;
        if (type == endOfFile) {
            std::uint32_t entries = 0, entriesAt = 0;
            record.le32(8, entries);
            record.le32(12, entriesAt);
            if (recordSize < 20 || (entries != 0 && !record.holds(entriesAt, 4ull * entries)))
                return check;
            check.valid = true;
            check.metafileBytes = totalBytes;
            return check;
        }
        if (at != 0 && !recordContentFits(type, RecordCheck(record, handles)))
            return check;
        at += recordSize;
    }
    return check;
}
