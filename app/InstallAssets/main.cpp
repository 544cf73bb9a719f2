// Writes what an install puts beside the executable, at build time: the menu entry and the
// icon at each size of the hicolor theme. Both come from the application's own code, so the
// installed entry is the one an installed copy keeps registered and the icon is the glyph.
//
//   quillfen_install_assets OUTPUT_FOLDER LAUNCHER SIZE...
//
// writes OUTPUT_FOLDER/org.quillfen.Quillfen.desktop,
// OUTPUT_FOLDER/hicolor/<SIZE>x<SIZE>/apps/org.quillfen.Quillfen.png for each size, and
// OUTPUT_FOLDER/hicolor/scalable/apps/org.quillfen.Quillfen.svg.

#include <QGuiApplication>
#include <QSvgGenerator>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "DesktopEntry.h"
#include "Support/Paths.h"
#include "UI/AppIcon.h"
#include "UI/Render.h"

using namespace quillfen;
namespace fs = std::filesystem;

namespace {

// The scalable icon's own size: what a renderer that ignores the view box would use.
constexpr int kScalableSize = 128;

int fail(const std::string& message) {
    std::fprintf(stderr, "quillfen_install_assets: %s\n", message.c_str());
    return 1;
}

fs::path iconFile(const fs::path& output, const std::string& size, const char* extension) {
    return output / "hicolor" / size / "apps" / (std::string(Paths::kAppId) + extension);
}

bool writeSvg(const fs::path& path) {
    QSvgGenerator svg;
    svg.setFileName(QString::fromStdString(path.string()));
    svg.setSize(QSize(kScalableSize, kScalableSize));
    svg.setViewBox(QRect(0, 0, kScalableSize, kScalableSize));
    svg.setTitle(QStringLiteral("Quillfen"));
    QPainter painter;
    if (!painter.begin(&svg)) return false;
    prepare(painter);
    paintAppIcon(painter, QRectF(0, 0, kScalableSize, kScalableSize));
    return painter.end();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return fail("usage: quillfen_install_assets OUTPUT_FOLDER LAUNCHER SIZE...");
    // Drawn without a display, whatever the build's environment says.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const fs::path output = argv[1];
    std::error_code ec;
    // Without a session (a build through sudo) Qt would make a runtime folder of its own in the
    // temporary folder and leave it there: the build keeps one in its own folder instead.
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime == nullptr || *runtime == '\0') {
        const auto own = output / ".runtime";
        fs::create_directories(own, ec);
        fs::permissions(own, fs::perms::owner_all, ec);
        setenv("XDG_RUNTIME_DIR", own.c_str(), 1);
    }
    QGuiApplication app(argc, argv);

    const auto entry = DesktopEntry::text(argv[2]);
    if (!entry) return fail(std::string("no desktop entry can start ") + argv[2]);
    fs::create_directories(output, ec);
    std::ofstream file(output / DesktopEntry::kFileName, std::ios::binary | std::ios::trunc);
    file << *entry;
    file.close();
    if (!file) return fail("could not write the desktop entry");

    for (int i = 3; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0) return fail(std::string("not an icon size: ") + argv[i]);
        const auto png = iconFile(output, std::to_string(size) + "x" + std::to_string(size), ".png");
        fs::create_directories(png.parent_path(), ec);
        const QImage icon = renderToImage(QSizeF(size, size), 1, paintAppIcon);
        if (!writePng(icon, QString::fromStdString(png.string()))) return fail("could not write " + png.string());
    }
    const auto svg = iconFile(output, "scalable", ".svg");
    fs::create_directories(svg.parent_path(), ec);
    if (!writeSvg(svg)) return fail("could not write " + svg.string());
    return 0;
}
