#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <functional>

#include "UI/ExactText.h"
#include "UI/Render.h"
#include "UI/TextBlock.h"
#include "UI/Theme.h"
#include "support/QtTestSupport.h"

namespace quillfen {
namespace {

const QString kLine = QStringLiteral("Rarely Balanced Off Settings Quit 0123456789");

// How wide a drawing is inked, in device pixels.
int inkedWidth(const QImage& image) {
    int left = image.width(), right = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    return right - left + 1;
}

// A size with half a pixel keeps it wherever the views draw their own text: at twice the scale,
// as the render hooks and a HiDPI screen draw, 14.5 is 29 device pixels, as wide as 29 at one.
TEST(Theme, HalfPixelTypeSizesDrawAtTheirOwnSize) {
    const std::pair<const char*, std::function<QImage(const QFont&, qreal)>> ways[] = {
        {"text block", [](const QFont& font, qreal scale) {
             return renderToImage({900, 60}, scale, [&](QPainter& p, const QRectF& box) {
                 paintTextBlock(p, box, {{{kLine, std::nullopt, false}}, font, Qt::black});
             });
         }},
        {"label", [](const QFont& font, qreal scale) {
             ExactLabel label(kLine);
             label.setFont(font);
             QPalette ground = label.palette();
             ground.setColor(QPalette::Window, Qt::transparent);
             label.setPalette(ground);
             label.resize(900, 60);
             return renderWidget(label, scale);
         }},
    };
    for (const double size : {9.5, 10.5, 11.5, 12.5, 13.5, 14.5, 15.5}) {
        EXPECT_EQ(Theme::pixelSize(Theme::sans(size)), size);
        for (const auto& [way, draw] : ways) {
            const int atTwice = inkedWidth(draw(Theme::sans(size), 2));
            const int doubled = inkedWidth(draw(Theme::sans(2 * size), 1));
            EXPECT_NEAR(atTwice, doubled, 1) << way << " " << size;
        }
    }
}

}  // namespace
}  // namespace quillfen
