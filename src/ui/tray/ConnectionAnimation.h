#pragma once

#include <QLabel>
#include <QPixmap>
#include <QTimer>
#include <vector>

#include "CollectorState.h"

// The link animation of the main window: an analyzer and a computer joined by a cable. Frame 1
// shows the link down (grey, cable cut), frame 2 the link ready, frames 3 to 13 the values
// travelling along the cable. The frames are drawn once when the animation is created.
class ConnectionAnimation : public QLabel {
    Q_OBJECT

public:
    static constexpr int kFrameCount = 13;
    static constexpr int kWidth = 230;
    static constexpr int kHeight = 80;
    static constexpr int kOfflineFrame = 1;
    static constexpr int kReadyFrame = 2;
    static constexpr int kFirstCollectingFrame = 3;
    static constexpr int kLastCollectingFrame = 13;
    static constexpr int kDefaultInterval = 90; // milliseconds between frames

    explicit ConnectionAnimation(QWidget* parent = nullptr);

    // Shows one frame (1 to 13; others are clamped) without stopping a loop.
    void showFrame(int frame);
    // Loops from first to last (both included), starting with first.
    void play(int first, int last);
    void stop();
    bool isPlaying() const { return m_timer.isActive(); }
    int currentFrame() const { return m_current; }

    // The frames for a collection state: 1 in Offline and CollectingOffline, 2 in Ready, the
    // loop 3 to 13 in Collecting.
    void showState(CollectionState state);

    // Half the designed size (a small window), the same pictures scaled down.
    void setSmall(bool small);

    void setFrameInterval(int milliseconds) { m_timer.setInterval(milliseconds); }
    int frameInterval() const { return m_timer.interval(); }
    // A frame's picture (1 to 13).
    QPixmap framePicture(int frame) const;

signals:
    void frameChanged(int frame);

private:
    void advance();

    std::vector<QPixmap> m_frames;
    QTimer m_timer;
    int m_current = 0;
    int m_first = kFirstCollectingFrame;
    int m_last = kLastCollectingFrame;
};
