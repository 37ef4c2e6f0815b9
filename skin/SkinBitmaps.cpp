#include "skin/SkinBitmaps.h"

#include <array>
#include <cmath>
#include <vector>

namespace cartulane::skin {

namespace {

constexpr COLORREF M = SkinKeyColor;
constexpr COLORREF kWhite = 0xFFFFFF;

// One channel at a time, rounded: a at t = 0, b at t = 1.
COLORREF Blend(COLORREF a, COLORREF b, double t) {
    COLORREF result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const double from = (a >> shift) & 0xFF, to = (b >> shift) & 0xFF;
        result |= static_cast<COLORREF>(std::lround(from + (to - from) * t)) << shift;
    }
    return result;
}

// Along rows 0..last through three colours: at 0, at the middle row and at last.
COLORREF ThreeStop(const std::array<COLORREF, 3>& stops, int middle, int last, int row) {
    if (row <= middle) return Blend(stops[0], stops[1], static_cast<double>(row) / middle);
    return Blend(stops[1], stops[2], static_cast<double>(row - middle) / (last - middle));
}

// An image being drawn, every pixel the key colour until written.
class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height), pixels_(static_cast<size_t>(width * height), M) {}
    void Set(int x, int y, COLORREF color) { pixels_[static_cast<size_t>(y * width_ + x)] = color; }
    // A shape whose '#' pixels take color(row), at (left, top).
    template <size_t Rows, typename ColorOfRow>
    void Stamp(int left, int top, const std::array<const char*, Rows>& shape, ColorOfRow color) {
        for (size_t row = 0; row < Rows; ++row) {
            for (int x = 0; shape[row][x]; ++x) {
                if (shape[row][x] == '#') Set(left + x, top + static_cast<int>(row), color(static_cast<int>(row)));
            }
        }
    }

    // A memory context of the display's format holding the pixels; empty when it cannot be
    // made. The display converts each colour to the nearest it has.
    MemoryDC Make() const {
        MemoryDC image = CreateMemoryDC(width_, height_);
        if (!image) return image;
        std::vector<DWORD> bits(pixels_.size());
        for (size_t i = 0; i < bits.size(); ++i) {
            const COLORREF c = pixels_[i];
            bits[i] = static_cast<DWORD>(GetRValue(c)) << 16 | static_cast<DWORD>(GetGValue(c)) << 8 | GetBValue(c);
        }
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -height_;  // top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        ::SetDIBitsToDevice(image.get(), 0, 0, width_, height_, 0, 0, 0, height_, bits.data(), &info,
                            DIB_RGB_COLORS);
        return image;
    }

private:
    int width_, height_;
    std::vector<COLORREF> pixels_;
};

// ---- Push-button faces, 7 x 21 each -----------------------------------------------------

using ButtonRow = std::array<COLORREF, 7>;

struct ButtonFace {
    COLORREF border;                // columns 0 and 6 of rows 3 to 17
    std::array<COLORREF, 3> centre; // columns 1 to 5 at rows 3, 10 and 17, graded between
    bool saturatedSides;            // the hot face's glossy blue columns 1 and 5
    std::array<ButtonRow, 3> top;   // rows 0 to 2: the rounded top border
    std::array<ButtonRow, 3> bottom;// rows 18 to 20
};

constexpr COLORREF kHotSide = 0xFBC34C;

constexpr ButtonRow kBlueTopEdge = {0xF9E1BF, 0xE3B36B, 0xD8972C, 0xD58F1B, 0xD8972C, 0xE3B36B, 0xF9E1BF};
constexpr ButtonRow kBlueBottomEdge = {0xFBE7CA, 0xE1AE60, 0xD8962A, 0xD58F1B, 0xD8962A, 0xE1AE60, 0xFBE7CA};
constexpr ButtonRow kPaleEdge = {0xFBF7F2, 0xEFD5AF, 0xEAC78F, 0xE8C387, 0xEAC78F, 0xEFD5AF, 0xFBF7F2};

const std::array<ButtonFace, 4> kButtonFaces = {{
    // Normal: white fading to pale blue downwards.
    {0xD58F1B,
     {0xFCF8F1, 0xF9EAD7, 0xEAD0B1},
     false,
     {{kBlueTopEdge,
       {0xE2B269, 0xE7C07E, 0xFBF3E7, 0xFFFFFF, 0xFBF3E7, 0xE7C07E, 0xE2B269},
       {0xD79529, 0xFCF6EC, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFCF6EC, 0xD79529}}},
     {{{0xD79528, 0xEED7BA, 0xECD6BB, 0xE9CFB0, 0xECD5BB, 0xEED7BA, 0xD79528},
       {0xE2B064, 0xE1B268, 0xEED8BB, 0xF1E0CC, 0xEED8BB, 0xE1B268, 0xE1AF62},
       kBlueBottomEdge}}},
    // Hot: glossy light blue with saturated sides.
    {0xD58F1B,
     {0xFCEED2, 0xFBEDD9, 0xF2D4A7},
     true,
     {{kBlueTopEdge,
       {0xE2B269, 0xE6A328, 0xFDF3E0, 0xFEF6E8, 0xFDF3E0, 0xE6A328, 0xE2B269},
       {0xD79529, 0xF9D27F, 0xFCEFD8, 0xFCEED2, 0xFCEFD8, 0xF9D27F, 0xD79529}}},
     {{{0xD79528, 0xF4C55C, 0xF1D9B2, 0xF2D4A7, 0xF1D9B2, 0xF4C55C, 0xD79528},
       {0xE2B064, 0xE5A125, 0xEBC68A, 0xEDCB98, 0xEBC68A, 0xE5A125, 0xE1AF62},
       kBlueBottomEdge}}},
    // Pressed: the gradient reversed, darker at the top.
    {0xD58F1B,
     {0xF3D49F, 0xF9E4C5, 0xFDEAC3},
     false,
     {{kBlueTopEdge,
       {0xE2B269, 0xE7C07E, 0xF1D3A0, 0xF0D09A, 0xF1D3A0, 0xE7C07E, 0xE2B269},
       {0xD79529, 0xF2D6A8, 0xF3D49F, 0xF3D49F, 0xF3D49F, 0xF2D6A8, 0xD79529}}},
     {{{0xD79528, 0xFAEBCD, 0xFCEAC6, 0xFDEAC3, 0xFCEAC6, 0xFAEBCD, 0xD79528},
       {0xE2B064, 0xE1B268, 0xF8E8CE, 0xFBEDD3, 0xF8E8CE, 0xE1B268, 0xE1AF62},
       kBlueBottomEdge}}},
    // Disabled: near white with a pale border.
    {0xE8C387,
     {0xFBF7F2, 0xFAF1E5, 0xF3E3D2},
     false,
     {{kPaleEdge,
       {0xEFD4AE, 0xF1DBBA, 0xFDFBF8, 0xFFFFFF, 0xFDFBF8, 0xF1DBBA, 0xEFD4AE},
       {0xE9C58C, 0xFDFAF6, 0xFEFDFB, 0xFEFDFB, 0xFEFDFB, 0xFDFAF6, 0xE9C58C}}},
     {{{0xE9C58B, 0xF5E8D9, 0xF4E6D6, 0xF3E3D2, 0xF4E6D6, 0xF5E8D9, 0xE9C58B},
       {0xEFD3AB, 0xEFD4AE, 0xF6EBDF, 0xF8EFE5, 0xF6EBDF, 0xEFD4AE, 0xEFD3AB},
       kPaleEdge}}},
}};

MemoryDC MakeButtonImage() {
    Canvas canvas(7, 84);
    for (int cell = 0; cell < 4; ++cell) {
        const ButtonFace& face = kButtonFaces[static_cast<size_t>(cell)];
        const int top = 21 * cell;
        for (int row = 0; row < 3; ++row) {
            for (int x = 0; x < 7; ++x) {
                canvas.Set(x, top + row, face.top[static_cast<size_t>(row)][static_cast<size_t>(x)]);
                canvas.Set(x, top + 18 + row, face.bottom[static_cast<size_t>(row)][static_cast<size_t>(x)]);
            }
        }
        for (int row = 3; row <= 17; ++row) {
            const COLORREF centre = ThreeStop(face.centre, 7, 14, row - 3);
            const COLORREF side = face.saturatedSides ? kHotSide : centre;
            const ButtonRow pixels = {face.border, side, Blend(centre, side, 0.35), centre,
                                      Blend(centre, side, 0.35), side, face.border};
            for (int x = 0; x < 7; ++x) canvas.Set(x, top + row, pixels[static_cast<size_t>(x)]);
        }
    }
    return canvas.Make();
}

// ---- Combo box drop button and arrows ---------------------------------------------------

constexpr std::array<const char*, 4> kArrow = {
    "#######",
    ".#####.",
    "..###..",
    "...#...",
};

MemoryDC MakeComboImage() {
    constexpr COLORREF kBorder = 0xD1A04E;
    Canvas canvas(15, 18);
    for (int row = 0; row < 18; ++row) {
        const double down = row / 17.0;
        // Hot: pale at the top, the middle column a deeper blue between the edge rows.
        const COLORREF hotSide = Blend(0xFFF9E8, 0xF3E1C0, down);
        const COLORREF hotMiddle = row == 0 || row == 17 ? hotSide : Blend(0xFDEEC1, 0xE3B865, (row - 1) / 15.0);
        // Dropped down: the same upside down.
        const COLORREF downSide = Blend(0xF3E1BE, 0xFEF8E6, down);
        const COLORREF downMiddle = row == 0 || row == 17 ? downSide : Blend(0xE3B865, 0xFDEEC1, (row - 1) / 15.0);
        const std::array<COLORREF, 8> pixels = {kBorder, hotSide,    hotMiddle, hotSide,
                                                kBorder, downSide,   downMiddle, downSide};
        for (int x = 0; x < 8; ++x) canvas.Set(x, row, pixels[static_cast<size_t>(x)]);
    }
    canvas.Stamp(8, 0, kArrow, [](int) { return COLORREF{0x5F5519}; });
    canvas.Stamp(8, 4, kArrow, [](int) { return COLORREF{0xACA584}; });
    return canvas.Make();
}

// ---- Check marks, indeterminate marks, option dots --------------------------------------

constexpr std::array<const char*, 8> kCheckMark = {
    "........#",
    ".......##",
    "......###",
    "##...###.",
    "###.###..",
    ".#####...",
    "..###....",
    "...#.....",
};

constexpr std::array<const char*, 7> kSquare = {
    "#######", "#######", "#######", "#######", "#######", "#######", "#######",
};

constexpr std::array<const char*, 5> kDot = {
    ".###.",
    "#####",
    "#####",
    "#####",
    ".###.",
};

// The green of a glyph row graded from first (row 0) to last (row rows - 1).
auto RowGrade(COLORREF first, COLORREF last, int rows) {
    return [=](int row) { return Blend(first, last, static_cast<double>(row) / (rows - 1)); };
}

void DrawDot(Canvas& canvas, int left, int top, const std::array<COLORREF, 3>& core) {
    const std::array<COLORREF, 5> rowColors = {core[0], core[0], core[1], core[2], core[2]};
    canvas.Stamp(left, top, kDot, [&](int row) { return rowColors[static_cast<size_t>(row)]; });
    // The corners are the dot's edge, half covered: a pale green that sits well on the
    // white of the circle.
    for (const POINT corner : {POINT{0, 0}, POINT{4, 0}, POINT{0, 4}, POINT{4, 4}}) {
        canvas.Set(left + corner.x, top + corner.y, Blend(rowColors[static_cast<size_t>(corner.y)], kWhite, 0.55));
    }
}

MemoryDC MakeGlyphImage() {
    Canvas canvas(18, 24);
    canvas.Stamp(0, 0, kCheckMark, RowGrade(0x1DB754, 0x029135, 8));
    canvas.Stamp(9, 0, kCheckMark, RowGrade(0x8CDAA8, 0x7EC798, 8));
    canvas.Stamp(1, 9, kSquare, RowGrade(0x1BB451, 0x069639, 7));
    canvas.Stamp(10, 9, kSquare, RowGrade(0x8BD9A6, 0x80C99A, 7));
    DrawDot(canvas, 2, 18, {0x19B14F, 0x12A847, 0x0B9D3F});
    DrawDot(canvas, 11, 18, {0x8CD8A7, 0x88D3A3, 0x85CE9F});
    return canvas.Make();
}

// ---- Option circles, 13 x 13 each -------------------------------------------------------

// '1' to '4': the ring, from its palest (outermost) shade to its darkest; 'f': the fill;
// '.': outside the circle. Rows 4 to 8 are fill from column 1 to 11, the strip that the
// check box stretches.
constexpr std::array<const char*, 13> kCircle = {
    "...1234321...",
    ".13fffffff31.",
    ".3fffffffff3.",
    "13fffffffff31",
    "2fffffffffff2",
    "3fffffffffff3",
    "4fffffffffff4",
    "3fffffffffff3",
    "2fffffffffff2",
    "13fffffffff31",
    ".3fffffffff3.",
    ".13fffffff31.",
    "...1234321...",
};

enum class CircleFill { White, ShadedWhite, Diagonal };

struct OptionCircle {
    std::array<COLORREF, 4> ring;
    CircleFill fill;
    COLORREF from, to;  // the diagonal fill, top left to bottom right
};

const std::array<OptionCircle, 4> kOptionCircles = {{
    {{0xE7CFBC, 0xD9B395, 0xD3A886, 0xD2A683}, CircleFill::ShadedWhite, 0, 0},
    {{0xE7CFBC, 0xD9B395, 0xD3A886, 0xD2A683}, CircleFill::Diagonal, 0xF8EAC3, 0xFDF5E0},
    {{0xDDBCA4, 0xCA9976, 0xC28B67, 0xC18964}, CircleFill::Diagonal, 0xF5E1AD, 0xFDF1D5},
    {{0xF3E7DD, 0xECD9CA, 0xE9D3C2, 0xE8D2C1}, CircleFill::White, 0, 0},
}};

COLORREF CircleFillAt(const OptionCircle& circle, int x, int y) {
    switch (circle.fill) {
    case CircleFill::ShadedWhite:
        // A soft shade under the top of the ring.
        return y == 1 ? 0xF4EDE5 : y == 2 ? 0xFAF7F3 : kWhite;
    case CircleFill::Diagonal:
        return Blend(circle.from, circle.to, (x + y) / 24.0);
    case CircleFill::White:
        break;
    }
    return kWhite;
}

MemoryDC MakeOptionImage() {
    Canvas canvas(13, 52);
    for (int cell = 0; cell < 4; ++cell) {
        const OptionCircle& circle = kOptionCircles[static_cast<size_t>(cell)];
        for (int y = 0; y < 13; ++y) {
            for (int x = 0; x < 13; ++x) {
                const char kind = kCircle[static_cast<size_t>(y)][x];
                const COLORREF color = kind == '.'   ? M
                                       : kind == 'f' ? CircleFillAt(circle, x, y)
                                                     : circle.ring[static_cast<size_t>(kind - '1')];
                canvas.Set(x, 13 * cell + y, color);
            }
        }
    }
    return canvas.Make();
}

// ---- Header items, 3 x 20 each ----------------------------------------------------------

struct HeaderItem {
    std::array<COLORREF, 3> centre;  // columns 0 and 1 at rows 0, 9 and 18, graded between
    std::array<COLORREF, 3> edge;    // column 2, the separator to the next item
};

const std::array<HeaderItem, 3> kHeaderItems = {{
    {{0xFEF5EA, 0xF6E5D3, 0xF6E5D3}, {0xFEF5EA, 0xD9B07A, 0xF6E5D3}},  // normal
    {{0xFEEED3, 0xFDE1AF, 0xFCDDA8}, {0xFDE6BD, 0xDBA24B, 0xFCDDA8}},  // hot
    {{0xFBD797, 0xFFE7B0, 0xFFF2C8}, {0xFBD797, 0xDBA24B, 0xFFF2C8}},  // pressed
}};

MemoryDC MakeHeaderImage() {
    constexpr COLORREF kBottomLine = 0xF2DAC0;
    Canvas canvas(9, 20);
    for (int row = 0; row < 20; ++row) {
        for (int cell = 0; cell < 3; ++cell) {
            const HeaderItem& item = kHeaderItems[static_cast<size_t>(cell)];
            const COLORREF centre = row == 19 ? kBottomLine : ThreeStop(item.centre, 9, 18, row);
            const COLORREF edge = row == 19 ? kBottomLine : ThreeStop(item.edge, 9, 18, row);
            canvas.Set(3 * cell, row, centre);
            canvas.Set(3 * cell + 1, row, centre);
            canvas.Set(3 * cell + 2, row, edge);
        }
    }
    return canvas.Make();
}

}  // namespace

SkinImages BuildSkinBitmaps() {
    SkinImages images;
    images.ButtonSkinDC = MakeButtonImage();
    images.ComboSkinDC = MakeComboImage();
    images.GlyphSkinDC = MakeGlyphImage();
    images.OptionSkinDC = MakeOptionImage();
    images.HeaderSkinDC = MakeHeaderImage();
    return images;
}

}  // namespace cartulane::skin
