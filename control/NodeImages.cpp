#include "control/NodeImages.h"

#include "runtime/Twips.h"

#include <initializer_list>

namespace cartulane::control {

namespace {

// Draws on a 16 x 16 grid; the device context's world transform scales it.
class Painter {
public:
    explicit Painter(HDC dc) : dc_(dc) {}

    void Box(int left, int top, int right, int bottom, COLORREF fill, COLORREF edge) {
        UniqueBrush brush(::CreateSolidBrush(fill));
        UniquePen pen(::CreatePen(PS_SOLID, 1, edge));
        SelectGuard b(dc_, brush.get()), p(dc_, pen.get());
        ::Rectangle(dc_, left, top, right, bottom);
    }
    void Fill(int left, int top, int right, int bottom, COLORREF fill) {
        UniqueBrush brush(::CreateSolidBrush(fill));
        RECT r{left, top, right, bottom};
        ::FillRect(dc_, &r, brush.get());
    }
    void Shape(std::initializer_list<POINT> points, COLORREF fill, COLORREF edge) {
        UniqueBrush brush(::CreateSolidBrush(fill));
        UniquePen pen(::CreatePen(PS_SOLID, 1, edge));
        SelectGuard b(dc_, brush.get()), p(dc_, pen.get());
        ::Polygon(dc_, points.begin(), static_cast<int>(points.size()));
    }
    void Line(int x0, int y0, int x1, int y1, COLORREF color) {
        UniquePen pen(::CreatePen(PS_SOLID, 1, color));
        SelectGuard p(dc_, pen.get());
        ::MoveToEx(dc_, x0, y0, nullptr);
        ::LineTo(dc_, x1, y1);
    }

private:
    HDC dc_;
};

constexpr COLORREF kFolderBack = RGB(226, 170, 40);
constexpr COLORREF kFolderFront = RGB(255, 210, 90);
constexpr COLORREF kFolderEdge = RGB(170, 120, 20);
constexpr COLORREF kPaper = RGB(255, 255, 255);
constexpr COLORREF kPaperEdge = RGB(110, 110, 110);
constexpr COLORREF kGridLine = RGB(150, 160, 150);
constexpr COLORREF kGreen = RGB(33, 115, 70);
constexpr COLORREF kLightGreen = RGB(200, 236, 208);

void FolderBack(Painter& p) { p.Shape({{1, 3}, {6, 3}, {7, 4}, {14, 4}, {14, 13}, {1, 13}}, kFolderBack, kFolderEdge); }
void FolderFront(Painter& p) { p.Shape({{1, 13}, {3, 7}, {15, 7}, {14, 13}}, kFolderFront, kFolderEdge); }

void DrawDocumentsFolder(Painter& p) {
    FolderBack(p);
    p.Box(4, 1, 12, 10, kPaper, kPaperEdge);
    for (int y : {3, 5}) p.Line(6, y, 11, y, RGB(60, 100, 200));
    FolderFront(p);
}

void DrawWorksheet(Painter& p) {
    p.Box(1, 2, 15, 14, kPaper, kPaperEdge);
    p.Fill(2, 3, 14, 5, kLightGreen);
    for (int x : {5, 9}) p.Line(x, 3, x, 13, kGridLine);
    for (int y : {5, 8, 11}) p.Line(2, y, 14, y, kGridLine);
}

void DrawWorkbook(Painter& p) {
    p.Box(1, 1, 15, 15, kGreen, RGB(20, 80, 45));
    p.Fill(4, 4, 12, 12, kPaper);
    for (int x : {6, 9}) p.Line(x, 4, x, 12, kGreen);
    for (int y : {6, 9}) p.Line(4, y, 12, y, kGreen);
}

void DrawSpreadsheetDocument(Painter& p) {
    p.Shape({{3, 1}, {10, 1}, {13, 4}, {13, 15}, {3, 15}}, kPaper, kPaperEdge);
    p.Line(10, 1, 10, 4, kPaperEdge);
    p.Line(10, 4, 13, 4, kPaperEdge);
    p.Box(5, 7, 12, 14, kLightGreen, kGreen);
    p.Line(8, 7, 8, 13, kGreen);
    p.Line(5, 10, 11, 10, kGreen);
}

void DrawFolder(Painter& p) {
    FolderBack(p);
    FolderFront(p);
}

void DrawDrive(Painter& p) {
    p.Shape({{1, 8}, {3, 4}, {13, 4}, {15, 8}}, RGB(214, 214, 220), RGB(90, 90, 96));
    p.Box(1, 8, 15, 13, RGB(150, 150, 158), RGB(90, 90, 96));
    p.Fill(11, 10, 13, 11, RGB(40, 200, 40));
}

void DrawDesktop(Painter& p) {
    p.Box(1, 2, 15, 12, RGB(64, 64, 70), RGB(40, 40, 44));
    p.Fill(2, 3, 14, 11, RGB(58, 110, 210));
    p.Fill(6, 12, 10, 14, RGB(96, 96, 104));
    p.Fill(4, 14, 12, 15, RGB(64, 64, 70));
}

}  // namespace

int NodeImageSize() {
    const int dpi = ScreenDpi().x;
    return dpi <= 96 ? 16 : ::MulDiv(16, dpi, 96) & ~1;
}

UniqueImageList CreateNodeImages(int size) {
    UniqueImageList images(::ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, 7, 0));
    if (!images) return images;
    WindowDC screen(nullptr);
    UniqueMemoryDC dc(::CreateCompatibleDC(screen.get()));
    if (!dc) return UniqueImageList();
    ::SetGraphicsMode(dc.get(), GM_ADVANCED);
    const FLOAT scale = size / 16.0f;
    const XFORM transform{scale, 0, 0, scale, 0, 0};

    using Draw = void (*)(Painter&);
    for (Draw draw : {DrawDocumentsFolder, DrawWorksheet, DrawWorkbook, DrawSpreadsheetDocument, DrawFolder,
                      DrawDrive, DrawDesktop}) {
        UniqueBitmap bitmap(::CreateCompatibleBitmap(screen.get(), size, size));
        if (!bitmap) return UniqueImageList();
        {
            SelectGuard selected(dc.get(), bitmap.get());
            ::ModifyWorldTransform(dc.get(), nullptr, MWT_IDENTITY);
            RECT all{0, 0, size, size};
            UniqueBrush mask(::CreateSolidBrush(kImageMaskColor));
            ::FillRect(dc.get(), &all, mask.get());
            ::SetWorldTransform(dc.get(), &transform);
            Painter painter(dc.get());
            draw(painter);
        }
        if (::ImageList_AddMasked(images.get(), bitmap.get(), kImageMaskColor) < 0) return UniqueImageList();
    }
    return images;
}

}  // namespace cartulane::control
