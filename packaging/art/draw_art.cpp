// Draws the program's pictures at build time: the icon (a birthday cake
// with candles on a calendar leaf) and the backdrop behind the frame's
// child windows (a quiet gradient with a few balloons).  Shapes only, no
// text, so the result is the same on every machine.
//
//   zuna_draw_art OUTPUT_DIRECTORY     writes zuna.png and backdrop.png
#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>
#include <cstdio>

namespace {

void DrawIcon(QPainter& p, int size) {
  const double u = size / 64.0;  // drawn on a 64-unit grid
  p.setRenderHint(QPainter::Antialiasing);
  // The calendar leaf.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xF4, 0xF1, 0xEA));
  p.drawRoundedRect(QRectF(4 * u, 6 * u, 56 * u, 54 * u), 8 * u, 8 * u);
  p.setBrush(QColor(0xC6, 0x28, 0x28));
  QPainterPath top;
  top.addRoundedRect(QRectF(4 * u, 6 * u, 56 * u, 14 * u), 8 * u, 8 * u);
  top.addRect(QRectF(4 * u, 13 * u, 56 * u, 7 * u));
  p.drawPath(top.simplified());
  p.setBrush(QColor(0x55, 0x55, 0x55));
  for (double x : {18.0, 46.0}) p.drawRoundedRect(QRectF((x - 2) * u, 2 * u, 4 * u, 10 * u), 2 * u, 2 * u);
  // The cake: two tiers with icing.
  p.setBrush(QColor(0xE8, 0xA8, 0x7C));
  p.drawRoundedRect(QRectF(14 * u, 42 * u, 36 * u, 13 * u), 3 * u, 3 * u);
  p.setBrush(QColor(0xF0, 0xC2, 0x9A));
  p.drawRoundedRect(QRectF(19 * u, 33 * u, 26 * u, 10 * u), 3 * u, 3 * u);
  p.setBrush(QColor(0xFF, 0xFF, 0xFF));
  p.drawRoundedRect(QRectF(14 * u, 42 * u, 36 * u, 3.5 * u), 1.5 * u, 1.5 * u);
  p.drawRoundedRect(QRectF(19 * u, 33 * u, 26 * u, 3 * u), 1.5 * u, 1.5 * u);
  // Three candles with flames.
  const QColor candles[] = {QColor(0x3F, 0x7F, 0xD8), QColor(0x4C, 0xAF, 0x50), QColor(0xE9, 0x1E, 0x63)};
  for (int i = 0; i < 3; ++i) {
    const double x = 24 + i * 8;
    p.setBrush(candles[i]);
    p.drawRect(QRectF((x - 1.3) * u, 25 * u, 2.6 * u, 8 * u));
    QRadialGradient flame(QPointF(x * u, 22 * u), 3 * u);
    flame.setColorAt(0, QColor(0xFF, 0xF5, 0x9D));
    flame.setColorAt(1, QColor(0xFF, 0x98, 0x00));
    p.setBrush(flame);
    p.drawEllipse(QPointF(x * u, 22 * u), 1.8 * u, 2.8 * u);
  }
}

void DrawBackdrop(QPainter& p, int width, int height) {
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, height);
  sky.setColorAt(0, QColor(0xE3, 0xEC, 0xF5));
  sky.setColorAt(1, QColor(0xC9, 0xD6, 0xE6));
  p.fillRect(0, 0, width, height, sky);
  struct Balloon {
    double x, y, r;
    QColor color;
  };
  const Balloon balloons[] = {
      {0.70, 0.30, 0.045, QColor(0xE5, 0x73, 0x73, 150)},
      {0.77, 0.22, 0.038, QColor(0x64, 0xB5, 0xF6, 150)},
      {0.74, 0.40, 0.034, QColor(0xFF, 0xD5, 0x4F, 150)},
      {0.22, 0.78, 0.030, QColor(0x81, 0xC7, 0x84, 120)},
  };
  for (const Balloon& b : balloons) {
    const QPointF centre(b.x * width, b.y * height);
    const double r = b.r * width;
    p.setPen(QPen(QColor(0x90, 0x90, 0x90, 120), 1.2));
    p.drawLine(QPointF(centre.x(), centre.y() + r * 1.2),
               QPointF(centre.x() - r * 0.3, centre.y() + r * 4));
    p.setPen(Qt::NoPen);
    p.setBrush(b.color);
    p.drawEllipse(centre, r, r * 1.2);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: zuna_draw_art OUTPUT_DIRECTORY\n");
    return 1;
  }
  QGuiApplication app(argc, argv);
  const QString out = QString::fromLocal8Bit(argv[1]);

  QImage icon(256, 256, QImage::Format_ARGB32_Premultiplied);
  icon.fill(Qt::transparent);
  {
    QPainter p(&icon);
    DrawIcon(p, 256);
  }
  QImage backdrop(1280, 960, QImage::Format_RGB32);
  {
    QPainter p(&backdrop);
    DrawBackdrop(p, backdrop.width(), backdrop.height());
  }
  const bool saved = icon.save(out + "/zuna.png") && backdrop.save(out + "/backdrop.png");
  if (!saved) std::fprintf(stderr, "zuna_draw_art: cannot write into %s\n", argv[1]);
  return saved ? 0 : 1;
}
