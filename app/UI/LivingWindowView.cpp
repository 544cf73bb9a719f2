#include "UI/LivingWindowView.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

#include "UI/MotionTokens.h"
#include "UI/Render.h"
#include "UI/SoftShadow.h"
#include "UI/Theme.h"

namespace quillfen {

namespace {

constexpr qreal kStackSpacing = 8;
constexpr qreal kLineGap = 8;
constexpr qreal kLineMaxWidth = 226;
constexpr qreal kLineSpacing = 3;
// How far the shadows and the knock reach past the pane's frame.
constexpr qreal kShadowRoom = 24;
// The pane breathes all day on the desktop: a breath moves its stone by a point or two, which
// five frames a second show as smoothly as sixty, for a twelfth of the wake-ups.
constexpr double kPaneBreathFrameInterval = 1.0 / 5.0;
constexpr double kPaneFrameInterval = 1.0 / 30.0;

const QColor& darkInk() {
    static const QColor c = QColor::fromRgb(63, 59, 49);
    return c;
}
const QColor& mossInk() {
    static const QColor c = QColor::fromRgb(77, 90, 58);
    return c;
}

QFont lineFont() {
    QFont f = Theme::serif(14);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 0.2);
    return f;
}

StoneFace paneFace(const LivingWindow::Geometry& g, const std::optional<PaneMirror>& mirror) {
    if (g.aggravated) return StoneFace::strained;
    if (mirror) {
        if (mirror->claudeLoopLive) return StoneFace::strained;
        return g.wake < 0.4 ? StoneFace::calm : mirror->face;
    }
    return g.wake < 0.4 ? StoneFace::calm : StoneFace::neutral;
}

}  // namespace

LivingPaneTargets livingPaneTargets(double score, bool aggravated, const std::optional<PaneMirror>& mirror) {
    LivingPaneTargets t;
    t.geometry = LivingWindow::geometry(score, aggravated);
    t.stoneWidth = std::max(t.geometry.beingWidth * 2.4, 76.0);
    t.frameWidth = std::max(258.0, t.geometry.width + 44);
    t.frameHeight = t.stoneWidth * 2 / 3 + 86;
    t.face = paneFace(t.geometry, mirror);
    t.lineInk = t.face == StoneFace::strained ? darkInk() : mossInk();
    t.opacity = 0.78 + 0.22 * t.geometry.opacity;
    return t;
}

CeilingLineLayout layoutCeilingLine(const QString& line) {
    // The pane asks on every frame of a breath; the line changes a few times a day.
    static QString lastLine;
    static CeilingLineLayout last;
    static bool laidOut = false;
    if (laidOut && line == lastLine) return last;
    CeilingLineLayout out;
    lastLine = line;
    laidOut = true;
    if (line.isEmpty()) return last = out;
    const QFont font = lineFont();
    const QFontMetricsF metrics(font);
    QTextLayout layout(line, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal widest = 0;
    for (int i = 0; i < 2; ++i) {
        QTextLine l = layout.createLine();
        if (!l.isValid()) break;
        l.setLineWidth(kLineMaxWidth);
        QString text = line.mid(l.textStart(), l.textLength());
        if (i == 1 && l.textStart() + l.textLength() < line.size()) {
            // The second line takes the rest of the text and ends in an ellipsis.
            text = metrics.elidedText(line.mid(l.textStart()).simplified(), Qt::ElideRight, kLineMaxWidth);
        }
        text = text.trimmed();
        out.lines << text;
        widest = std::max(widest, std::min(kLineMaxWidth, metrics.horizontalAdvance(text)));
    }
    layout.endLayout();
    const qreal lineHeight = metrics.height();
    const auto n = static_cast<qreal>(out.lines.size());
    out.textSize = QSizeF(std::ceil(widest), n * lineHeight + (n - 1) * kLineSpacing);
    out.bubbleSize = out.textSize + QSizeF(30, 20);
    return last = out;
}

void paintLivingPane(QPainter& painter, const QRectF& box, const LivingPaneState& s) {
    const qreal stoneWidth = s.being.shape.width;
    const qreal stoneHeight = stoneWidth * 2 / 3;
    const CeilingLineLayout line = layoutCeilingLine(s.line);
    const bool hasLine = !line.lines.isEmpty();
    const qreal stackHeight = stoneHeight + (hasLine ? 2 * kStackSpacing + kLineGap + line.bubbleSize.height() : 0);
    const QRectF frame(box.left(), box.bottom() - s.frameHeight, s.frameWidth, s.frameHeight);
    const qreal top = frame.bottom() - stackHeight;

    // The pane fades as one: the stone over its shadow and the bubble over its own are laid
    // down together. With room for the shadows and the knock.
    QRectF room = frame.adjusted(-kShadowRoom, -kShadowRoom, kShadowRoom, kShadowRoom);
    if (s.exposed) room &= *s.exposed;
    paintAsLayer(painter, room, s.opacity, [&](QPainter& pane) {
        pane.save();
        const QPointF centre = frame.center();
        pane.translate(0, s.dy);
        pane.translate(centre);
        pane.rotate(s.rot);
        pane.translate(-centre);

        const QRectF stoneRect(frame.left() + 6, top, stoneWidth, stoneHeight);
        {
            const StoneShapeState& shape = s.being.shape;
            auto exact = StoneArtLibrary::exactArt(shape.identity);
            const StoneArt& art = exact ? *exact : StoneArtLibrary::fallbackArt();
            const qreal u = stoneWidth / StoneArt::boxWidth;
            QPainterPath silhouette = stonePath(drawingCommands(art), [&](StonePoint p) {
                return stoneRect.topLeft() + QPointF(p.x * u, p.y * u);
            });
            // The shadow leans with the stone but does not breathe: a point's difference in a
            // blur is invisible, and an unscaled shadow is a plain copy rather than a transformed one.
            QTransform lean;
            const QPointF bottom(stoneRect.center().x(), stoneRect.bottom());
            lean.translate(bottom.x(), bottom.y());
            lean.rotate(-1.5);
            lean.translate(-bottom.x(), -bottom.y());
            drawSoftShadow(pane, lean.map(silhouette), QColor(0, 0, 0, static_cast<int>(std::lround(0.16 * 255))),
                           9, {0, 3});
            paintStoneBeing(pane, stoneRect, s.being);
        }

        const QRectF bubble(frame.left() + 2, top + stoneHeight + 2 * kStackSpacing + kLineGap,
                            line.bubbleSize.width(), line.bubbleSize.height());
        // With the room its shadow takes.
        const QRectF bubbleRoom = bubble.adjusted(-18, -14, 18, 20);
        if (hasLine && (!s.exposed || s.exposed->intersects(bubbleRoom.translated(0, s.dy)))) {
            QPainterPath shape;
            shape.addRoundedRect(bubble, 17, 17);
            paintAsLayer(pane, bubbleRoom, s.lineOpacity, [&](QPainter& words) {
                drawSoftShadow(words, shape, QColor(0, 0, 0, static_cast<int>(std::lround(0.1 * 255))), 11, {0, 3});
                words.fillPath(shape, Theme::paper());
                const QRectF textBox = bubble.adjusted(15, 10, -15, -10);
                if (s.exposed && !s.exposed->intersects(textBox.translated(0, s.dy))) return;
                words.setFont(lineFont());
                words.setPen(s.lineInk);
                const QFontMetricsF metrics(lineFont());
                qreal y = textBox.top() + metrics.ascent();
                for (const QString& text : line.lines) {
                    words.drawText(QPointF(textBox.left(), y), text);
                    y += metrics.height() + kLineSpacing;
                }
            });
        }
        pane.restore();
    });
}

LivingWindowView::LivingWindowView(LivingWindowModel& model, std::function<void()> onTap, QWidget* parent,
                                   AnimationDriver& driver, AnyRNGBox random)
    : QWidget(parent),
      model_(model),
      onTap_(std::move(onTap)),
      driver_(driver),
      frameWidth_(driver, 258),
      stoneWidth_(driver, 88),
      opacity_(driver, 1),
      breathScale_(driver, 0.985),
      aggBreath_(driver, 1),
      dy_(driver, 0),
      rot_(driver, 0),
      lineOpacity_(driver, 0),
      breath_(
          driver, std::move(random),
          [this] { return breathes(face_) && !reduceMotion_ && isVisible(); },
          [this](const Animation& a) { breathScale_.animateTo(1.015, a, kPaneBreathFrameInterval); },
          [this](const Animation& a) { breathScale_.animateTo(0.985, a, kPaneBreathFrameInterval); }) {
    for (AnimatedValue* v : {&frameWidth_, &stoneWidth_, &opacity_, &aggBreath_, &dy_, &rot_, &lineOpacity_})
        v->setOnChange([this] { update(); });
    // A breath moves only the stone and its shadow: the rest of the pane is left as it is.
    breathScale_.setOnChange([this] {
        if (breathMovedVisibly(breathScale_.value(), paintedBreathScale_, breathScale_.target(), stoneWidth_.value(),
                               devicePixelRatioF()))
            update(stoneArea());
    });
    setAttribute(Qt::WA_TranslucentBackground, true);
    setObjectName("livingWindow");
    relayout(false);
    lastScore_ = model_.score();
    lastAggravated_ = model_.aggravated();
    shownLine_ = model_.ceilingLine();
    lineOpacity_.set(shownLine_.isEmpty() ? 0 : 1);
    connect(&model_, &LivingWindowModel::changed, this, [this] { modelChanged(); });
}

QSize LivingWindowView::sizeHint() const {
    LivingPaneTargets t = livingPaneTargets(model_.score(), model_.aggravated(), mirror_);
    return {static_cast<int>(std::ceil(t.frameWidth)), static_cast<int>(std::ceil(t.frameHeight))};
}

void LivingWindowView::relayout(bool animated) {
    const LivingPaneTargets t = livingPaneTargets(model_.score(), model_.aggravated(), mirror_);
    lineInk_ = t.lineInk;
    if (t.face != face_) {
        face_ = t.face;
        if (breathes(face_)) {
            breath_.start();
        } else {
            breath_.stop();
            breathScale_.set(1);
        }
    }
    std::optional<Animation> animation;
    if (animated) {
        if (model_.aggravated()) {
            animation = MotionTokens::Living::aggravateCurve();
        } else if (!reduceMotion_) {
            animation = lastScore_ <= model_.score() ? MotionTokens::Living::gatherCurve()
                                                     : MotionTokens::Living::thinCurve();
        }
    }
    for (auto [value, target] : {std::pair{&frameWidth_, t.frameWidth}, std::pair{&stoneWidth_, t.stoneWidth},
                                 std::pair{&opacity_, t.opacity}}) {
        if (animation) value->animateTo(target, *animation, kPaneFrameInterval);
        else value->set(target);
    }
    update();
}

void LivingWindowView::modelChanged() {
    relayout(true);
    if (model_.score() != lastScore_) lastScore_ = model_.score();
    if (model_.aggravated() != lastAggravated_) {
        lastAggravated_ = model_.aggravated();
        startAggBreathIfNeeded();
        if (knocking()) {
            if (!knockRunning_) knockLoop();
        } else {
            dy_.set(0);
            rot_.set(0);
        }
    }
    if (model_.ceilingLine() != shownLine_) {
        const bool appearing = shownLine_.isEmpty();
        const bool leaving = model_.ceilingLine().isEmpty();
        if (!leaving) shownLine_ = model_.ceilingLine();
        const Animation fade = Animation::easeInOut(0.35);
        if (appearing) {
            lineOpacity_.set(0);
            lineOpacity_.moveTo(1, fade, reduceMotion_, kPaneFrameInterval);
        } else if (leaving) {
            if (reduceMotion_) {
                shownLine_.clear();
                lineOpacity_.set(0);
            } else {
                lineFade_ = driver_.animate(lineOpacity_.value(), 0, fade, [this](double v) { lineOpacity_.set(v); },
                                            [this] { if (model_.ceilingLine().isEmpty()) shownLine_.clear(); update(); },
                                            kPaneFrameInterval);
            }
        }
    }
    updateGeometry();
}

void LivingWindowView::setMirror(std::optional<PaneMirror> mirror) {
    if (mirror == mirror_) return;
    mirror_ = mirror;
    relayout(false);
}

void LivingWindowView::setReduceMotion(bool reduce) {
    if (reduce == reduceMotion_) return;
    reduceMotion_ = reduce;
    if (reduce) breath_.stop(); else breath_.start();
    startAggBreathIfNeeded();
    if (!knocking()) {
        dy_.set(0);
        rot_.set(0);
    } else if (!knockRunning_) {
        knockLoop();
    }
    update();
}

bool LivingWindowView::knocking() const {
    return model_.aggravated() && !reduceMotion_;
}

void LivingWindowView::startAggBreathIfNeeded() {
    const unsigned generation = ++pulseGeneration_;
    pulseStep_.reset();
    pulse(generation);
}

void LivingWindowView::pulse(unsigned generation) {
    if (generation != pulseGeneration_ || !isVisible()) return;
    if (!model_.aggravated() || reduceMotion_) {
        aggBreath_.set(1);
        return;
    }
    aggBreath_.animateTo(0.93, Animation::easeInOut(0.6), kPaneFrameInterval);
    pulseStep_ = driver_.after(0.6, [this, generation] {
        if (generation != pulseGeneration_) return;
        aggBreath_.animateTo(1.0, Animation::easeInOut(0.5), kPaneFrameInterval);
        pulseStep_ = driver_.after(0.5, [this, generation] { pulse(generation); });
    });
}

void LivingWindowView::knockLoop() {
    if (!knocking() || !isVisible()) {
        knockRunning_ = false;
        return;
    }
    knockRunning_ = true;
    knockStep_ = driver_.after(1.68, [this] {
        if (!knocking()) {
            knockRunning_ = false;
            return;
        }
        knock([this] {
            knockStep_ = driver_.after(0.12, [this] { knock([this] { knockLoop(); }); });
        });
    });
}

void LivingWindowView::knock(std::function<void()> finished) {
    const Animation tap = Animation::easeInOut(0.06);
    dy_.animateTo(1.5, tap, 1.0 / 60);
    rot_.animateTo(-0.5, tap, 1.0 / 60);
    knockStep_ = driver_.after(0.06, [this, tap, finished = std::move(finished)]() mutable {
        dy_.animateTo(0, tap, 1.0 / 60);
        rot_.animateTo(0, tap, 1.0 / 60);
        knockStep_ = driver_.after(0.06, std::move(finished));
    });
}

QRect LivingWindowView::stoneArea() const {
    const LivingPaneState s = state();
    const qreal w = s.being.shape.width, h = w * 2 / 3;
    const qreal stackHeight = h + (s.line.isEmpty() ? 0 : 2 * kStackSpacing + kLineGap + layoutCeilingLine(s.line).bubbleSize.height());
    const qreal top = height() - stackHeight;
    // Room for the breath, the lean and the shadow's blur (about 14 points below, less above).
    return QRectF(6, top, w, h).adjusted(-16, -12, 16, 18).toAlignedRect().translated(0, static_cast<int>(std::ceil(s.dy)));
}

LivingPaneState LivingWindowView::state() const {
    LivingPaneState s;
    s.being.shape = {face_, model_.identity(), stoneWidth_.value()};
    s.being.fadesWhileBreathing = false;
    s.being.reduceMotion = reduceMotion_;
    s.being.breathScale = breathScale_.value();
    s.being.breathOpacity = 1;
    s.line = shownLine_;
    s.lineOpacity = lineOpacity_.value();
    s.lineInk = lineInk_;
    s.frameWidth = frameWidth_.value();
    s.frameHeight = stoneWidth_.value() * 2 / 3 + 86;
    s.opacity = (model_.aggravated() ? aggBreath_.value() : 1.0) * opacity_.value();
    s.dy = dy_.value();
    s.rot = rot_.value();
    return s;
}

void LivingWindowView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    prepare(painter);
    LivingPaneState s = state();
    paintedBreathScale_ = s.being.breathScale;
    if (event->rect() != rect()) s.exposed = QRectF(event->rect());
    paintLivingPane(painter, QRectF(rect()), s);
}

void LivingWindowView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && onTap_) onTap_();
}

void LivingWindowView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    lastScore_ = model_.score();
    breath_.start();
    startAggBreathIfNeeded();
    if (knocking() && !knockRunning_) knockLoop();
}

void LivingWindowView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    breath_.stop();
    ++pulseGeneration_;
    pulseStep_.reset();
    knockStep_.reset();
    knockRunning_ = false;
}

}  // namespace quillfen
