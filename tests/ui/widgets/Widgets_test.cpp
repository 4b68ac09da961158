// Our own small widgets and the picture resources, shown alone offscreen.
#include <QAbstractButton>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QSignalSpy>
#include <QPainter>
#include <QSvgRenderer>
#include <QtTest>

#include "ui/widgets/SetpointEdit.h"
#include "ui/resources/DiagramLayout.h"
#include "ui/widgets/FlowArrow.h"
#include "ui/widgets/IndicatorLamp.h"
#include "ui/widgets/PictureCanvas.h"
#include "ui/widgets/ToggleSwitch.h"

namespace {
QImage render(const QString &name, QSize size = {})
{
    QSvgRenderer renderer(":/pictures/" + name);
    if (size.isEmpty())
        size = renderer.viewBoxF().size().toSize();
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

// Every pixel of the picture inside `area` (picture pixels) has the same colour.
bool plain(const QImage &image, const QRectF &area)
{
    const QRect r = area.toAlignedRect();
    const QRgb first = image.pixel(r.topLeft());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (image.pixel(x, y) != first) {
                qWarning("%d,%d differs", x, y);
                return false;
            }
    return true;
}

bool notBlank(const QImage &image)
{
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != first)
                return true;
    return false;
}
}  // namespace

class WidgetsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Q_INIT_RESOURCE(pictures); }

    void resources_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSizeF>("size");
        QTest::newRow("icon") << "icon.svg" << QSizeF(64, 64);
        QTest::newRow("splash") << "splash.svg" << QSizeF(594, 351);
        QTest::newRow("charger") << "charger.svg" << kChargerSize.size();
        QTest::newRow("bulb lit") << "charger_bulb_lit.svg" << kChargerBulbOverlay.size();
        QTest::newRow("supply") << "supply.svg" << kSupplySize.size();
        QTest::newRow("lamp lit") << "supply_lamp_lit.svg" << kSupplyLampOverlay.size();
        for (const char *g : {"glyph_write.svg", "glyph_zero.svg", "glyph_value.svg", "glyph_reset.svg"})
            QTest::newRow(g) << g << QSizeF(16, 16);
        QTest::newRow("lead-acid") << "lead_acid.svg" << QSizeF(120, 100);
        QTest::newRow("lithium") << "lithium.svg" << QSizeF(120, 100);
    }
    // Every picture loads as SVG, has the size the window lays things out by, and draws something.
    void resources()
    {
        QFETCH(QString, name);
        QFETCH(QSizeF, size);
        QSvgRenderer renderer(":/pictures/" + name);
        QVERIFY2(renderer.isValid(), qPrintable(name));
        QCOMPARE(renderer.viewBoxF().size(), size);
        QImage image(size.toSize() * 2, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.end();
        QVERIFY(notBlank(image));
    }

    // The window's icon and the trees' glyphs come through QIcon, which needs the SVG icon engine.
    void glyphsLoadAsIcons()
    {
        for (const char *g : {"glyph_write", "glyph_zero", "glyph_value", "glyph_reset", "icon"}) {
            const QIcon icon(QString(":/pictures/%1.svg").arg(g));
            QVERIFY2(!icon.isNull(), g);
            QVERIFY2(notBlank(icon.pixmap(QSize(32, 32)).toImage()), g);
        }
    }

    void layoutRectsStayInsideTheirPictures()
    {
        for (const QRectF &r :
             {kChargerSolarLabels, kChargerBatteryLabels, kChargerLoadLabels, kChargerLoadCheckBoxes,
              kChargerDeviceLabels, kChargerSolarArrow, kChargerLoadArrow, kChargerBatteryArrow, kChargerBulbOverlay})
            QVERIFY(kChargerSize.contains(r));
        for (const QRectF &r : {kSupplySourceLabels, kSupplyBoardLabels, kSupplyLampOverlay})
            QVERIFY(kSupplySize.contains(r));
        // Labels must not sit under the overlay, which would take their clicks.
        for (const QRectF &r : {kChargerSolarLabels, kChargerBatteryLabels, kChargerLoadLabels, kChargerLoadCheckBoxes,
                                kChargerDeviceLabels})
            QVERIFY(!r.intersects(kChargerBulbOverlay));
        QVERIFY(!kSupplySourceLabels.intersects(kSupplyLampOverlay));
        QVERIFY(!kSupplyBoardLabels.intersects(kSupplyLampOverlay));
    }

    // Labels, check boxes and arrows stand on plain background: nothing of the drawing under text.
    void placesOnThePicturesArePlain()
    {
        const QImage charger = render("charger.svg");
        for (const QRectF &r : {kChargerSolarLabels, kChargerBatteryLabels, kChargerLoadLabels, kChargerLoadCheckBoxes,
                                kChargerDeviceLabels, kChargerSolarArrow, kChargerLoadArrow, kChargerBatteryArrow})
            QVERIFY2(plain(charger, r), qPrintable(QString("charger %1,%2").arg(r.x()).arg(r.y())));
        const QImage supply = render("supply.svg");
        for (const QRectF &r : {kSupplySourceLabels, kSupplyBoardLabels})
            QVERIFY2(plain(supply, r), qPrintable(QString("supply %1,%2").arg(r.x()).arg(r.y())));
        // The bench source's display is dark: a fixed reading beside live ones would mislead.
        QVERIFY(plain(supply, QRectF(24, 23, 58, 22)));
    }

    // The set-point editors' step buttons show their arrows: dark pixels inside each button.
    void setpointEditorsShowTheirArrows()
    {
        // Dark pixels in the upper and lower step button of a spin box shown alone.
        const auto darkInButtons = [](QAbstractSpinBox &box) {
            box.resize(120, 26);
            box.show();
            const QImage image = box.grab().toImage();
            const int w = image.width(), h = image.height();
            std::pair<int, int> dark{0, 0};
            for (int y = 3; y < h - 3; ++y)
                for (int x = w - 14; x < w - 3; ++x)
                    if (image.pixelColor(x, y).lightness() < 90)
                        ++(y < h / 2 ? dark.first : dark.second);
            return dark;
        };
        QDoubleSpinBox bare;
        bare.setValue(5);
        const auto bareDark = darkInButtons(bare);
        QVERIFY2(bareDark.first < 3 || bareDark.second < 3, "the style draws arrows itself: nothing to check");
        SetpointEdit edit(33, 1);
        edit.ShowValue(5);
        const auto dark = darkInButtons(edit);
        QVERIFY(dark.first >= 3);
        QVERIFY(dark.second >= 3);
    }

    // Each tree glyph in its own colour (write blue, calibrate green, reset red), and the two
    // calibration buttons side by side told apart by their figure.
    void glyphsAreTheirColours()
    {
        const struct {
            const char *file;
            char colour;  // the channel that dominates the drawn pixels
        } glyphs[] = {
            {"glyph_write.svg", 'b'}, {"glyph_zero.svg", 'g'}, {"glyph_value.svg", 'g'}, {"glyph_reset.svg", 'r'}};
        for (const auto &g : glyphs) {
            const QImage image = render(g.file, QSize(16, 16));
            int counts[3] = {};
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) {
                    const QColor c = image.pixelColor(x, y);
                    if (c.alpha() < 128 || c.saturation() < 100)
                        continue;
                    const int channel = c.red() >= c.green() && c.red() >= c.blue() ? 0 : c.green() >= c.blue() ? 1 : 2;
                    ++counts[channel];
                }
            const int want = g.colour == 'r' ? 0 : g.colour == 'g' ? 1 : 2;
            QVERIFY2(counts[want] > 20 && counts[want] > 3 * (counts[(want + 1) % 3] + counts[(want + 2) % 3]), g.file);
        }
        QVERIFY(render("glyph_zero.svg", QSize(16, 16)) != render("glyph_value.svg", QSize(16, 16)));
    }

    void overlaysMatchTheDiagramUnderThem_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("overlay");
        QTest::addColumn<QRectF>("place");
        QTest::addColumn<QRectF>("wire");  // a stretch of the bulb's wire, away from the glow
        QTest::newRow("charger") << "charger.svg"
                                 << "charger_bulb_lit.svg" << kChargerBulbOverlay << QRectF(474, 88, 30, 24);
        QTest::newRow("supply") << "supply.svg"
                                << "supply_lamp_lit.svg" << kSupplyLampOverlay << QRectF(206, 260, 30, 24);
    }
    // The lit picture's wire lies exactly on the diagram's, so switching the load on moves nothing.
    void overlaysMatchTheDiagramUnderThem()
    {
        QFETCH(QString, base);
        QFETCH(QString, overlay);
        QFETCH(QRectF, place);
        QFETCH(QRectF, wire);
        const QImage under = render(base);
        const QImage over = render(overlay);
        QCOMPARE(over.size(), place.size().toSize());
        int compared = 0;
        const QRect w = wire.toAlignedRect();
        for (int y = w.top(); y <= w.bottom(); ++y)
            for (int x = w.left(); x <= w.right(); ++x) {
                const QRgb o = over.pixel(x - int(place.x()), y - int(place.y()));
                const QRgb u = under.pixel(x, y);
                if (qAlpha(o) == 0) {
                    QVERIFY2(qAlpha(u) == 0, qPrintable(QString("wire only in the diagram at %1,%2").arg(x).arg(y)));
                    continue;
                }
                if (qAlpha(o) < 255)
                    continue;  // edges blend with what lies under them
                QVERIFY2(qAbs(qRed(o) - qRed(u)) <= 2 && qAbs(qGreen(o) - qGreen(u)) <= 2 &&
                             qAbs(qBlue(o) - qBlue(u)) <= 2,
                         qPrintable(QString("%1,%2").arg(x).arg(y)));
                ++compared;
            }
        QVERIFY(compared > 100);
    }

    void canvasMapsPictureRectsAcrossResizes()
    {
        PictureCanvas canvas(":/pictures/charger.svg");
        QCOMPARE(canvas.pictureSize(), QSizeF(580, 320));
        QCOMPARE(canvas.sizeHint(), QSize(580, 320));
        auto *label = new QLabel("U[В] 12.3");
        canvas.placeChild(label, QRectF(100, 40, 60, 18));
        QCOMPARE(label->parentWidget(), &canvas);

        canvas.resize(580, 320);
        canvas.show();
        QVERIFY(QTest::qWaitForWindowExposed(&canvas));
        QVERIFY(label->isVisible());
        QCOMPARE(label->geometry(), QRect(100, 40, 60, 18));

        // Twice as large, with extra width: scaled by 2 and centred horizontally.
        canvas.resize(1260, 640);
        QCOMPARE(canvas.scale(), 2.0);
        QCOMPARE(label->geometry(), QRect(50 + 200, 80, 120, 36));

        // Taller than the aspect: scaled by the width, centred vertically.
        canvas.resize(290, 400);
        QCOMPARE(canvas.scale(), 0.5);
        QCOMPARE(label->geometry(), QRect(50, 120 + 20, 30, 9));

        // Placing the same child again moves it; it is not laid out twice.
        canvas.placeChild(label, QRectF(0, 0, 100, 20));
        canvas.resize(580, 320);
        QCOMPARE(label->geometry(), QRect(0, 0, 100, 20));
    }

    void canvasKeepsHiddenChildrenHiddenAndForgetsDeletedOnes()
    {
        PictureCanvas canvas(":/pictures/supply.svg");
        auto *overlay = new PictureCanvas(":/pictures/supply_lamp_lit.svg");
        overlay->hide();
        canvas.placeChild(overlay, kSupplyLampOverlay);
        auto *gone = new QLabel;
        canvas.placeChild(gone, QRectF(0, 0, 10, 10));
        canvas.resize(636, 634);
        canvas.show();
        QVERIFY(QTest::qWaitForWindowExposed(&canvas));
        QVERIFY(!overlay->isVisible());
        QCOMPARE(overlay->geometry(), QRect(380, 0, 256, 634));
        delete gone;
        canvas.resize(318, 317);  // must not touch the deleted label
        QCOMPARE(overlay->geometry(), QRect(190, 0, 128, 317));
        QVERIFY(notBlank(canvas.grab().toImage()));
    }

    void canvasWithMissingPictureStaysUsable()
    {
        PictureCanvas canvas(":/pictures/no_such.svg");
        QVERIFY(!canvas.isPictureValid());
        QVERIFY(canvas.pictureSize().isEmpty());
        canvas.setPicture(":/pictures/lithium.svg");
        QVERIFY(canvas.isPictureValid());
        QCOMPARE(canvas.pictureSize(), QSizeF(120, 100));
    }

    void arrowAnimatesOnlyWhileVisible()
    {
        QWidget host;
        host.resize(200, 100);
        auto *arrow = new FlowArrow(FlowArrow::Direction::Right, QColor("#FB8C00"), &host);
        arrow->setGeometry(10, 10, 50, 15);
        QVERIFY(!arrow->isAnimating());
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QVERIFY(arrow->isAnimating());
        const qreal start = arrow->phase();
        QTRY_VERIFY_WITH_TIMEOUT(arrow->phase() != start, 2000);
        QVERIFY(notBlank(arrow->grab().toImage()));

        arrow->hide();
        QVERIFY(!arrow->isAnimating());
        arrow->show();
        QVERIFY(arrow->isAnimating());
        host.hide();  // hiding the page hides the arrow with it
        QVERIFY(!arrow->isAnimating());
    }

    // The arrows share one frame timer: it must keep running while any of them is visible,
    // whichever of them goes first, and a deleted arrow must not stop the others.
    void arrowsShareTheirFramesAndEachGoesOnAlone()
    {
        QWidget host;
        host.resize(200, 100);
        auto *first = new FlowArrow(FlowArrow::Direction::Right, QColor("#FB8C00"), &host);
        auto *second = new FlowArrow(FlowArrow::Direction::Down, QColor("#43A047"), &host);
        first->setGeometry(10, 10, 50, 15);
        second->setGeometry(100, 10, 15, 50);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QVERIFY(first->isAnimating() && second->isAnimating());

        first->hide();
        qreal start = second->phase();
        QTRY_VERIFY_WITH_TIMEOUT(second->phase() != start, 2000);
        first->show();
        delete second;
        start = first->phase();
        QTRY_VERIFY_WITH_TIMEOUT(first->phase() != start, 2000);
        first->hide();
        QVERIFY(!first->isAnimating());
    }

    void arrowPointsItsWay_data()
    {
        QTest::addColumn<int>("direction");
        QTest::addColumn<QSize>("hint");
        QTest::newRow("right") << int(FlowArrow::Direction::Right) << QSize(50, 15);
        QTest::newRow("left") << int(FlowArrow::Direction::Left) << QSize(50, 15);
        QTest::newRow("down") << int(FlowArrow::Direction::Down) << QSize(15, 50);
        QTest::newRow("up") << int(FlowArrow::Direction::Up) << QSize(15, 50);
    }
    // The chevrons point the arrow's way: seen from the tail, a chevron ">" shows its two arm ends
    // first and its tip, on the middle line, last.
    void arrowPointsItsWay()
    {
        QFETCH(int, direction);
        QFETCH(QSize, hint);
        const auto d = FlowArrow::Direction(direction);
        FlowArrow arrow(d, Qt::black);
        QCOMPARE(arrow.sizeHint(), hint);
        arrow.resize(hint);
        QImage image(hint, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        arrow.render(&image, {}, {}, QWidget::DrawChildren);
        QVERIFY(notBlank(image));

        const bool horizontal = d == FlowArrow::Direction::Right || d == FlowArrow::Direction::Left;
        if (!horizontal)
            image = image.transformed(QTransform().rotate(90));  // now along x; Down becomes Left
        const auto ink = [&](int x, int y) { return qAlpha(image.pixel(x, y)); };
        int first = 0;  // the first column with ink, from the left
        while (first < image.width() && [&] {
            for (int y = 0; y < image.height(); ++y)
                if (ink(first, y) > 0)
                    return false;
            return true;
        }())
            ++first;
        QVERIFY(first < image.width());
        int strongest = 0;
        for (int y = 0; y < image.height(); ++y)
            strongest = std::max(strongest, ink(first, y));
        const int middle = ink(first, image.height() / 2);
        const bool tipFirst = d == FlowArrow::Direction::Left || d == FlowArrow::Direction::Down;
        if (tipFirst)
            QCOMPARE(middle, strongest);
        else
            QVERIFY2(middle < strongest / 2, qPrintable(QString("middle %1, strongest %2").arg(middle).arg(strongest)));
    }

    void lampLitAndDark()
    {
        IndicatorLamp lamp;
        QVERIFY(!lamp.isLit());
        const QColor silver = lamp.faceColor();
        lamp.setOnColor(QColor("#E53935"));
        QCOMPARE(lamp.faceColor(), silver);  // a colour change does not light it
        lamp.setLit(true);
        QVERIFY(lamp.isLit());
        QCOMPARE(lamp.faceColor(), QColor("#E53935"));
        lamp.resize(18, 18);
        const QImage lit = lamp.grab().toImage();
        QCOMPARE(QColor(lit.pixel(9, 13)), QColor("#E53935"));
        lamp.setLit(false);
        QCOMPARE(lamp.faceColor(), silver);
        QCOMPARE(QColor(lamp.grab().toImage().pixel(9, 13)), silver);
    }

    void switchTogglesByClickAndByCode()
    {
        ToggleSwitch sw;
        QVERIFY(sw.isCheckable());
        QVERIFY(!sw.isChecked());
        QCOMPARE(sw.sizeHint(), QSize(60, 28));
        sw.resize(sw.sizeHint());
        sw.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sw));
        QSignalSpy toggled(&sw, &QAbstractButton::toggled);
        const QImage off = sw.grab().toImage();
        QTest::mouseClick(&sw, Qt::LeftButton, {}, QPoint(10, 14));
        QCOMPARE(toggled.count(), 1);
        QCOMPARE(toggled.at(0).at(0).toBool(), true);
        const QImage on = sw.grab().toImage();
        QVERIFY(on != off);
        // Green track when on, near the left end where the knob is not.
        QCOMPARE(QColor(on.pixel(16, 14)), QColor("#43A047"));
        sw.setChecked(false);  // a refresh setting it fires toggled too
        QCOMPARE(toggled.count(), 2);
        QCOMPARE(sw.grab().toImage(), off);
        QTest::keyClick(&sw, Qt::Key_Space);
        QVERIFY(sw.isChecked());
    }
};

QTEST_MAIN(WidgetsTest)
#include "Widgets_test.moc"
