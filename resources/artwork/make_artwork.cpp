// Draws the program's artwork with QPainter and writes it as PNG files into
// the folder named on the command line (resources/images). It is run by hand
// after a change of the drawings; the PNGs are kept in the repository, so the
// normal build never builds or runs this program (BKF_BUILD_ARTWORK=ON does).
//
//   bkf-artwork OUTPUT_FOLDER
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>

#include <cmath>
#include <functional>

namespace {

// The palette all drawings share.
const QColor kNavy(22, 58, 112);
const QColor kBlue(44, 110, 190);
const QColor kSky(120, 178, 235);
const QColor kOrange(240, 140, 30);
const QColor kGold(250, 196, 60);
const QColor kGreen(40, 150, 70);
const QColor kRed(200, 50, 40);
const QColor kPaper(250, 250, 246);
const QColor kGrey(110, 116, 128);
const QColor kFolder(236, 190, 70);
const QColor kFolderDark(196, 146, 40);

QString gOut;

QImage canvas(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void save(const QImage& image, const QString& name) {
    if (!image.save(gOut + QLatin1Char('/') + name + QStringLiteral(".png"))) {
        QTextStream(stderr) << "cannot write " << name << "\n";
        std::exit(1);
    }
}

QFont font(int pixels, bool bold) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// ---- glyphs, drawn into any square: r is the glyph's box

void tape(QPainter& p, const QRectF& r) {
    // A backup tape cartridge: a rounded body, a label and two reels.
    const qreal u = r.width() / 16.0;
    QRectF body(r.left() + u * 0.5, r.top() + u * 3, u * 15, u * 10.5);
    QLinearGradient g(body.topLeft(), body.bottomLeft());
    g.setColorAt(0, QColor(70, 78, 92));
    g.setColorAt(1, QColor(34, 38, 46));
    p.setPen(QPen(QColor(20, 22, 28), std::max<qreal>(1, u * 0.6)));
    p.setBrush(g);
    p.drawRoundedRect(body, u * 1.5, u * 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(kPaper);
    p.drawRect(QRectF(body.left() + u * 2, body.top() + u * 1.2, u * 11, u * 3));
    p.setBrush(kBlue);
    p.drawRect(QRectF(body.left() + u * 2, body.top() + u * 1.2, u * 11, u * 1));
    p.setBrush(QColor(200, 205, 214));
    const qreal cy = body.top() + u * 7.3;
    p.drawEllipse(QPointF(body.left() + u * 4.5, cy), u * 2, u * 2);
    p.drawEllipse(QPointF(body.right() - u * 4.5, cy), u * 2, u * 2);
    p.setBrush(QColor(34, 38, 46));
    p.drawEllipse(QPointF(body.left() + u * 4.5, cy), u * 0.8, u * 0.8);
    p.drawEllipse(QPointF(body.right() - u * 4.5, cy), u * 0.8, u * 0.8);
}

void badge(QPainter& p, const QPointF& c, qreal radius, const QColor& fill) {
    QRadialGradient g(c - QPointF(radius / 3, radius / 3), radius * 1.4);
    g.setColorAt(0, fill.lighter(150));
    g.setColorAt(1, fill);
    p.setPen(QPen(fill.darker(160), std::max<qreal>(1, radius / 7)));
    p.setBrush(g);
    p.drawEllipse(c, radius, radius);
}

void tick(QPainter& p, const QRectF& r, const QColor& colour, qreal width) {
    QPainterPath path;
    path.moveTo(r.left() + r.width() * 0.15, r.top() + r.height() * 0.55);
    path.lineTo(r.left() + r.width() * 0.42, r.top() + r.height() * 0.80);
    path.lineTo(r.left() + r.width() * 0.88, r.top() + r.height() * 0.22);
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

void disk(QPainter& p, const QRectF& r) {
    const qreal u = r.width() / 16.0;
    QRectF body(r.left() + u, r.top() + u, u * 14, u * 14);
    p.setPen(QPen(kNavy.darker(130), std::max<qreal>(1, u * 0.6)));
    p.setBrush(kBlue);
    p.drawRoundedRect(body, u, u);
    p.setPen(Qt::NoPen);
    p.setBrush(kPaper);
    p.drawRect(QRectF(body.left() + u * 2.5, body.top() + u * 1, u * 9, u * 5.5));
    p.setBrush(QColor(190, 198, 210));
    p.drawRect(QRectF(body.left() + u * 3.5, body.bottom() - u * 5, u * 7, u * 5));
    p.setBrush(kNavy);
    p.drawRect(QRectF(body.left() + u * 8, body.bottom() - u * 4.2, u * 1.6, u * 3.4));
}

void folder(QPainter& p, const QRectF& r, bool open) {
    const qreal u = r.width() / 16.0;
    p.setPen(QPen(kFolderDark.darker(120), std::max<qreal>(0.8, u * 0.5)));
    p.setBrush(kFolderDark);
    QPainterPath back;
    back.moveTo(r.left() + u * 1, r.top() + u * 13.5);
    back.lineTo(r.left() + u * 1, r.top() + u * 3);
    back.lineTo(r.left() + u * 5.5, r.top() + u * 3);
    back.lineTo(r.left() + u * 7, r.top() + u * 4.5);
    back.lineTo(r.left() + u * 15, r.top() + u * 4.5);
    back.lineTo(r.left() + u * 15, r.top() + u * 13.5);
    back.closeSubpath();
    p.drawPath(back);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, kFolder.lighter(125));
    g.setColorAt(1, kFolder);
    p.setBrush(g);
    if (open) {
        QPainterPath front;
        front.moveTo(r.left() + u * 1, r.top() + u * 13.5);
        front.lineTo(r.left() + u * 3.5, r.top() + u * 7);
        front.lineTo(r.left() + u * 15.8, r.top() + u * 7);
        front.lineTo(r.left() + u * 13.5, r.top() + u * 13.5);
        front.closeSubpath();
        p.drawPath(front);
    } else {
        p.drawRoundedRect(QRectF(r.left() + u * 1, r.top() + u * 6, u * 14, u * 7.5), u * 0.6, u * 0.6);
    }
}

void magnifier(QPainter& p, const QRectF& r) {
    const qreal u = r.width() / 16.0;
    p.setPen(QPen(QColor(60, 60, 66), u * 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(r.left() + u * 10, r.top() + u * 10), QPointF(r.left() + u * 14.5, r.top() + u * 14.5));
    QRadialGradient g(QPointF(r.left() + u * 5, r.top() + u * 5), u * 7);
    g.setColorAt(0, QColor(235, 245, 255));
    g.setColorAt(1, kSky);
    p.setPen(QPen(QColor(60, 60, 66), u * 1.4));
    p.setBrush(g);
    p.drawEllipse(QPointF(r.left() + u * 6.5, r.top() + u * 6.5), u * 5, u * 5);
}

void arrowsCircle(QPainter& p, const QRectF& r) {
    const qreal u = r.width() / 16.0;
    const QRectF ring(r.left() + u * 2.5, r.top() + u * 2.5, u * 11, u * 11);
    p.setPen(QPen(kGreen, u * 2.2, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(ring, 100 * 16, 150 * 16);
    p.drawArc(ring, 280 * 16, 150 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    auto head = [&](qreal angleDeg) {
        const qreal a = angleDeg * M_PI / 180.0;
        const QPointF c = ring.center() + QPointF(std::cos(a) * ring.width() / 2, -std::sin(a) * ring.height() / 2);
        const QPointF t(-std::sin(a), -std::cos(a));  // clockwise tangent
        const QPointF n(std::cos(a), -std::sin(a));
        QPolygonF tri;
        tri << c + n * u * 2.6 << c - n * u * 2.6 << c + t * u * 3.2;
        p.drawPolygon(tri);
    };
    head(100);
    head(280);
}

void letterBadge(QPainter& p, const QRectF& r, const QColor& colour, const QString& letter) {
    const qreal u = r.width() / 16.0;
    badge(p, r.center(), u * 7, colour);
    QFont f = font(std::max(6, int(u * 11)), true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(r.adjusted(0, u * 0.4, 0, 0), Qt::AlignCenter, letter);
}

// The seven commands of the toolbar, in its order.
void drawRecover(QPainter& p, const QRectF& r) {
    tape(p, r);
    const qreal u = r.width() / 16.0;
    QRectF b(r.right() - u * 7.5, r.bottom() - u * 7.5, u * 7.5, u * 7.5);
    badge(p, b.center(), u * 3.6, kGreen);
    tick(p, b.adjusted(u * 1.6, u * 1.6, -u * 1.6, -u * 1.6), Qt::white, std::max<qreal>(1.2, u * 1.1));
}
void drawSaveSnapshot(QPainter& p, const QRectF& r) {
    disk(p, r);
}
void drawLoadSnapshot(QPainter& p, const QRectF& r) {
    folder(p, r, true);
    const qreal u = r.width() / 16.0;
    p.setPen(QPen(kBlue, std::max<qreal>(1.2, u * 1.5), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(r.left() + u * 9, r.top() + u * 0.8), QPointF(r.left() + u * 9, r.top() + u * 5.5));
    p.drawLine(QPointF(r.left() + u * 7, r.top() + u * 3.6), QPointF(r.left() + u * 9, r.top() + u * 5.5));
    p.drawLine(QPointF(r.left() + u * 11, r.top() + u * 3.6), QPointF(r.left() + u * 9, r.top() + u * 5.5));
}
void drawSearch(QPainter& p, const QRectF& r) {
    magnifier(p, r);
}
void drawLiveUpdate(QPainter& p, const QRectF& r) {
    arrowsCircle(p, r);
}
void drawHelp(QPainter& p, const QRectF& r) {
    letterBadge(p, r, kBlue, QStringLiteral("?"));
}
void drawAbout(QPainter& p, const QRectF& r) {
    letterBadge(p, r, kOrange, QStringLiteral("i"));
}

using Glyph = std::function<void(QPainter&, const QRectF&)>;

// A toolbar image: the glyph in a 28 px square centred in 42 x 35.
QImage toolbarImage(const Glyph& glyph) {
    QImage image = canvas(42, 35);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    glyph(p, QRectF(7, 3.5, 28, 28));
    return image;
}

QImage menuImage(const Glyph& glyph) {
    QImage image = canvas(16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    glyph(p, QRectF(0, 0, 16, 16));
    return image;
}

// ---- image buttons

enum class Arrow { None, Right, Left, Square, Disk };

QImage imageButton(int w, int h, const QString& text, Arrow arrow, bool hover) {
    QImage image = canvas(w, h);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(1, 1, w - 2, h - 3);
    // shadow
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 50));
    p.drawRoundedRect(r.translated(0, 1.5), 8, 8);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    const QColor top = hover ? QColor(255, 196, 90) : QColor(92, 150, 222);
    const QColor bottom = hover ? QColor(226, 122, 16) : QColor(30, 78, 150);
    g.setColorAt(0, top);
    g.setColorAt(0.5, top.darker(108));
    g.setColorAt(0.51, bottom.lighter(112));
    g.setColorAt(1, bottom);
    p.setPen(QPen(hover ? QColor(160, 80, 10) : QColor(18, 44, 90), 1));
    p.setBrush(g);
    p.drawRoundedRect(r, 8, 8);
    // gloss
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 55));
    p.drawRoundedRect(QRectF(r.left() + 3, r.top() + 2, r.width() - 6, r.height() / 2 - 2), 6, 6);

    // the glyph in a white circle at the left, the text beside it
    const qreal cy = r.center().y();
    const QPointF c(r.left() + 15, cy);
    p.setBrush(QColor(255, 255, 255, 235));
    p.drawEllipse(c, 9.5, 9.5);
    const QColor ink = hover ? QColor(200, 96, 10) : kNavy;
    p.setBrush(ink);
    switch (arrow) {
        case Arrow::Right: {
            QPolygonF tri;
            tri << c + QPointF(-3.5, -5.5) << c + QPointF(5.5, 0) << c + QPointF(-3.5, 5.5);
            p.drawPolygon(tri);
            break;
        }
        case Arrow::Left: {
            QPolygonF tri;
            tri << c + QPointF(3.5, -5.5) << c + QPointF(-5.5, 0) << c + QPointF(3.5, 5.5);
            p.drawPolygon(tri);
            break;
        }
        case Arrow::Square:
            p.setBrush(kRed);
            p.drawRoundedRect(QRectF(c.x() - 4.5, c.y() - 4.5, 9, 9), 1.5, 1.5);
            break;
        case Arrow::Disk:
            disk(p, QRectF(c.x() - 6, c.y() - 6, 12, 12));
            break;
        case Arrow::None:
            break;
    }
    p.setFont(font(14, true));
    p.setPen(QColor(0, 0, 0, 70));
    const QRectF textBox(r.left() + 27, r.top(), r.width() - 29, r.height());
    p.drawText(textBox.translated(1, 1), Qt::AlignCenter, text);
    p.setPen(Qt::white);
    p.drawText(textBox, Qt::AlignCenter, text);
    return image;
}

// ---- larger pieces

QImage logo() {
    QImage image = canvas(170, 56);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(1, 1, 168, 54);
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, kNavy);
    g.setColorAt(1, kBlue);
    p.setPen(QPen(kNavy.darker(140), 1));
    p.setBrush(g);
    p.drawRoundedRect(r, 9, 9);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 40));
    p.drawRoundedRect(QRectF(4, 3, 162, 22), 7, 7);
    tape(p, QRectF(7, 8, 40, 40));
    p.setPen(kGold);
    p.setFont(font(12, true));
    p.drawText(QRectF(52, 6, 114, 18), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("ORMILO"));
    p.setPen(Qt::white);
    p.setFont(font(15, true));
    p.drawText(QRectF(52, 21, 114, 20), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Tarvik BKF"));
    p.setPen(QColor(200, 222, 248));
    p.setFont(font(9, false));
    p.drawText(QRectF(52, 39, 114, 12), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("backup file recovery"));
    return image;
}

QImage captionBand() {
    QImage image(1980, 21, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    QLinearGradient g(0, 0, 1980, 0);
    g.setColorAt(0, kNavy);
    g.setColorAt(0.45, kBlue);
    g.setColorAt(1, kSky);
    p.fillRect(image.rect(), g);
    QLinearGradient gloss(0, 0, 0, 21);
    gloss.setColorAt(0, QColor(255, 255, 255, 70));
    gloss.setColorAt(0.5, QColor(255, 255, 255, 10));
    gloss.setColorAt(1, QColor(0, 0, 0, 40));
    p.fillRect(image.rect(), gloss);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(font(12, true));
    p.setPen(Qt::white);
    p.drawText(QRectF(10, 0, 600, 21), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Files found in the backup file"));
    return image;
}

QImage appIcon(int size) {
    QImage image = canvas(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    if (size >= 32) {
        QLinearGradient g(0, 0, 0, s);
        g.setColorAt(0, kBlue);
        g.setColorAt(1, kNavy);
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRoundedRect(QRectF(s * 0.03, s * 0.03, s * 0.94, s * 0.94), s * 0.18, s * 0.18);
        tape(p, QRectF(s * 0.1, s * 0.06, s * 0.8, s * 0.8));
        const QPointF c(s * 0.72, s * 0.72);
        badge(p, c, s * 0.2, kGreen);
        tick(p, QRectF(c.x() - s * 0.12, c.y() - s * 0.12, s * 0.24, s * 0.24), Qt::white, s * 0.05);
    } else {
        drawRecover(p, QRectF(0, 0, s, s));
    }
    return image;
}

// 16 x 16 file-type icons: a page with a coloured corner mark.
QImage fileIcon(const QColor& mark, const std::function<void(QPainter&)>& detail) {
    QImage image = canvas(16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath page;
    page.moveTo(2.5, 0.5);
    page.lineTo(10, 0.5);
    page.lineTo(13.5, 4);
    page.lineTo(13.5, 15.5);
    page.lineTo(2.5, 15.5);
    page.closeSubpath();
    p.setPen(QPen(kGrey, 1));
    p.setBrush(kPaper);
    p.drawPath(page);
    p.setBrush(QColor(220, 222, 228));
    QPolygonF fold;
    fold << QPointF(10, 0.5) << QPointF(10, 4) << QPointF(13.5, 4);
    p.drawPolygon(fold);
    if (mark.isValid()) {
        p.setPen(Qt::NoPen);
        p.setBrush(mark);
        p.drawRect(QRectF(3, 11, 10, 4));
    }
    if (detail) detail(p);
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        QTextStream(stderr) << "usage: bkf-artwork OUTPUT_FOLDER\n";
        return 64;
    }
    gOut = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(gOut);

    save(imageButton(90, 38, QStringLiteral("Next"), Arrow::Right, false), QStringLiteral("next"));
    save(imageButton(90, 38, QStringLiteral("Next"), Arrow::Right, true), QStringLiteral("next_hover"));
    save(imageButton(77, 38, QStringLiteral("Back"), Arrow::Left, false), QStringLiteral("back"));
    save(imageButton(77, 38, QStringLiteral("Back"), Arrow::Left, true), QStringLiteral("back_hover"));
    save(imageButton(77, 38, QStringLiteral("Stop"), Arrow::Square, false), QStringLiteral("stop"));
    save(imageButton(77, 38, QStringLiteral("Stop"), Arrow::Square, true), QStringLiteral("stop_hover"));
    save(imageButton(77, 38, QStringLiteral("Save"), Arrow::Disk, false), QStringLiteral("save"));
    save(imageButton(77, 38, QStringLiteral("Save"), Arrow::Disk, true), QStringLiteral("save_hover"));

    const std::pair<const char*, Glyph> commands[] = {
        {"recover", drawRecover}, {"save_snapshot", drawSaveSnapshot}, {"load_snapshot", drawLoadSnapshot},
        {"search", drawSearch},   {"live_update", drawLiveUpdate},     {"help", drawHelp},
        {"about", drawAbout},
    };
    for (const auto& [name, glyph] : commands) {
        save(toolbarImage(glyph), QStringLiteral("tb_") + QLatin1String(name));
        save(menuImage(glyph), QStringLiteral("menu_") + QLatin1String(name));
    }

    save(logo(), QStringLiteral("logo"));
    save(captionBand(), QStringLiteral("caption_band"));
    save(appIcon(256), QStringLiteral("app_256"));
    save(appIcon(48), QStringLiteral("app_48"));
    save(appIcon(32), QStringLiteral("app_32"));
    save(appIcon(16), QStringLiteral("app_16"));

    auto icon16 = [](const Glyph& glyph) { return menuImage(glyph); };
    save(icon16([](QPainter& p, const QRectF& r) { folder(p, r, false); }), QStringLiteral("folder"));
    save(icon16([](QPainter& p, const QRectF& r) { folder(p, r, true); }), QStringLiteral("folder_open"));
    save(fileIcon(QColor(), {}), QStringLiteral("file"));
    save(fileIcon(QColor(),
                  [](QPainter& p) {
                      p.setPen(QPen(kGrey, 1));
                      for (int y = 5; y <= 13; y += 2) p.drawLine(QPointF(4.5, y + 0.5), QPointF(11.5, y + 0.5));
                  }),
         QStringLiteral("file_text"));
    save(fileIcon(QColor(),
                  [](QPainter& p) {
                      p.setPen(Qt::NoPen);
                      p.setBrush(kSky);
                      p.drawRect(QRectF(3.5, 5, 9, 9));
                      p.setBrush(kGreen);
                      QPolygonF hill;
                      hill << QPointF(3.5, 14) << QPointF(7, 9) << QPointF(9.5, 12) << QPointF(11, 10.5)
                           << QPointF(12.5, 14);
                      p.drawPolygon(hill);
                      p.setBrush(kGold);
                      p.drawEllipse(QPointF(10.5, 7), 1.3, 1.3);
                  }),
         QStringLiteral("file_image"));
    save(fileIcon(QColor(),
                  [](QPainter& p) {
                      p.setPen(QPen(QColor(130, 60, 170), 1.4));
                      p.setBrush(QColor(130, 60, 170));
                      p.drawLine(QPointF(9.5, 5), QPointF(9.5, 12));
                      p.drawEllipse(QPointF(7.5, 12), 2, 1.5);
                  }),
         QStringLiteral("file_audio"));
    save(fileIcon(QColor(),
                  [](QPainter& p) {
                      p.setPen(Qt::NoPen);
                      p.setBrush(QColor(40, 40, 48));
                      p.drawRect(QRectF(3.5, 5, 9, 8));
                      p.setBrush(Qt::white);
                      QPolygonF play;
                      play << QPointF(6.5, 6.8) << QPointF(10.5, 9) << QPointF(6.5, 11.2);
                      p.drawPolygon(play);
                  }),
         QStringLiteral("file_video"));
    save(fileIcon(QColor(),
                  [](QPainter& p) {
                      p.setPen(Qt::NoPen);
                      p.setBrush(QColor(150, 110, 60));
                      p.drawRect(QRectF(4, 4, 8, 10));
                      p.setBrush(kGold);
                      for (int y = 4; y < 13; y += 2) p.drawRect(QRectF(7.2, y, 1.6, 1));
                  }),
         QStringLiteral("file_archive"));
    save(fileIcon(kBlue,
                  [](QPainter& p) {
                      p.setPen(QPen(kBlue, 1));
                      for (int y = 4; y <= 8; y += 2) p.drawLine(QPointF(4.5, y + 0.5), QPointF(11.5, y + 0.5));
                  }),
         QStringLiteral("file_document"));
    save(fileIcon(QColor(),
                  [](QPainter& p) {
                      p.setPen(Qt::NoPen);
                      p.setBrush(kNavy);
                      p.drawRect(QRectF(3.5, 4, 9, 9));
                      p.setBrush(kSky);
                      p.drawRect(QRectF(3.5, 4, 9, 2));
                      p.setBrush(Qt::white);
                      p.drawRect(QRectF(5, 7.5, 6, 4));
                  }),
         QStringLiteral("file_program"));
    return 0;
}
