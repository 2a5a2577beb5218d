#include "ConnectionAnimation.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace {

struct Palette {
    QColor body;
    QColor screen;
    QColor cable;
};

const QRectF kAnalyzer(8, 14, 58, 54);
const QRectF kComputerScreen(158, 10, 64, 44);
const double kCableY = 44;
const double kCableStart = kAnalyzer.right();
const double kCableEnd = kComputerScreen.left();

void drawAnalyzer(QPainter& painter, const Palette& colours) {
    painter.setPen(QPen(colours.body.darker(150), 2));
    painter.setBrush(colours.body);
    painter.drawRoundedRect(kAnalyzer, 6, 6);
    painter.setBrush(colours.screen);
    painter.drawRect(QRectF(kAnalyzer.left() + 8, kAnalyzer.top() + 8, 42, 18));
    // The sample carousel.
    painter.setBrush(colours.body.lighter(130));
    painter.drawEllipse(QPointF(kAnalyzer.left() + 18, kAnalyzer.bottom() - 13), 8, 8);
    painter.drawEllipse(QPointF(kAnalyzer.left() + 40, kAnalyzer.bottom() - 13), 8, 8);
}

void drawComputer(QPainter& painter, const Palette& colours) {
    painter.setPen(QPen(colours.body.darker(150), 2));
    painter.setBrush(colours.body);
    painter.drawRoundedRect(kComputerScreen, 4, 4);
    painter.setBrush(colours.screen);
    painter.drawRect(kComputerScreen.adjusted(6, 6, -6, -6));
    painter.setBrush(colours.body);
    painter.drawRect(QRectF(kComputerScreen.center().x() - 5, kComputerScreen.bottom(), 10, 8));
    painter.drawRoundedRect(
        QRectF(kComputerScreen.center().x() - 22, kComputerScreen.bottom() + 8, 44, 7), 3, 3);
}

QPixmap paintFrame(int frame) {
    QPixmap picture(ConnectionAnimation::kWidth, ConnectionAnimation::kHeight);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);

    const bool offline = frame == ConnectionAnimation::kOfflineFrame;
    const Palette colours =
        offline ? Palette{QColor(170, 170, 170), QColor(120, 120, 120), QColor(150, 150, 150)}
                : Palette{QColor(60, 110, 170), QColor(150, 220, 160), QColor(40, 40, 40)};
    drawAnalyzer(painter, colours);
    drawComputer(painter, colours);

    painter.setPen(QPen(colours.cable, 3, Qt::SolidLine, Qt::RoundCap));
    if (offline) {
        // The cable is cut in the middle, with a red cross over the gap.
        const double middle = (kCableStart + kCableEnd) / 2;
        painter.drawLine(QPointF(kCableStart, kCableY), QPointF(middle - 12, kCableY));
        painter.drawLine(QPointF(middle + 12, kCableY), QPointF(kCableEnd, kCableY));
        painter.setPen(QPen(QColor(200, 30, 30), 3, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(middle - 7, kCableY - 7), QPointF(middle + 7, kCableY + 7));
        painter.drawLine(QPointF(middle - 7, kCableY + 7), QPointF(middle + 7, kCableY - 7));
        return picture;
    }
    painter.drawLine(QPointF(kCableStart, kCableY), QPointF(kCableEnd, kCableY));
    if (frame < ConnectionAnimation::kFirstCollectingFrame)
        return picture;

    // Three values travel from the analyzer to the computer, one step per frame.
    const int steps =
        ConnectionAnimation::kLastCollectingFrame - ConnectionAnimation::kFirstCollectingFrame + 1;
    const int step = frame - ConnectionAnimation::kFirstCollectingFrame;
    const double span = kCableEnd - kCableStart;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(230, 120, 20));
    for (int dot = 0; dot < 3; ++dot) {
        const double phase = double((step + dot * steps / 3) % steps) / steps;
        painter.drawEllipse(QPointF(kCableStart + 6 + phase * (span - 12), kCableY), 5, 5);
    }
    // The computer's screen lights up in the rhythm of the values.
    painter.setBrush(QColor(255, 255, 255, 40 + 15 * (step % 4)));
    painter.drawRect(kComputerScreen.adjusted(6, 6, -6, -6));
    return picture;
}

} // namespace

ConnectionAnimation::ConnectionAnimation(QWidget* parent) : QLabel(parent) {
    setFixedSize(kWidth, kHeight);
    m_frames.reserve(kFrameCount);
    for (int frame = 1; frame <= kFrameCount; ++frame)
        m_frames.push_back(paintFrame(frame));
    m_timer.setInterval(kDefaultInterval);
    connect(&m_timer, &QTimer::timeout, this, &ConnectionAnimation::advance);
    showFrame(kOfflineFrame);
}

void ConnectionAnimation::setSmall(bool small) {
    setScaledContents(small);
    setFixedSize(small ? QSize(kWidth / 2, kHeight / 2) : QSize(kWidth, kHeight));
}

QPixmap ConnectionAnimation::framePicture(int frame) const {
    return m_frames[std::size_t(std::clamp(frame, 1, kFrameCount) - 1)];
}

void ConnectionAnimation::showFrame(int frame) {
    frame = std::clamp(frame, 1, kFrameCount);
    if (frame == m_current)
        return;
    m_current = frame;
    setPixmap(framePicture(frame));
    emit frameChanged(frame);
}

void ConnectionAnimation::play(int first, int last) {
    m_first = std::clamp(first, 1, kFrameCount);
    m_last = std::clamp(last, m_first, kFrameCount);
    showFrame(m_first);
    m_timer.start();
}

void ConnectionAnimation::stop() {
    m_timer.stop();
}

void ConnectionAnimation::advance() {
    showFrame(m_current >= m_last || m_current < m_first ? m_first : m_current + 1);
}

void ConnectionAnimation::showState(CollectionState state) {
    switch (state) {
    case CollectionState::Collecting:
        if (!isPlaying())
            play(kFirstCollectingFrame, kLastCollectingFrame);
        return;
    case CollectionState::Ready:
        stop();
        showFrame(kReadyFrame);
        return;
    case CollectionState::Offline:
    case CollectionState::CollectingOffline:
        break;
    }
    stop();
    showFrame(kOfflineFrame);
}
