#include <gtest/gtest.h>

#include <QSignalSpy>
#include <set>

#include "ConnectionAnimation.h"

namespace {

QByteArray pictureBytes(const QPixmap& picture) {
    const QImage image = picture.toImage();
    return QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes());
}

} // namespace

TEST(ConnectionAnimationTest, ThirteenDistinctFramesOfTheDesignedSize) {
    ConnectionAnimation animation;
    EXPECT_EQ(animation.size(), QSize(230, 80));
    std::set<QByteArray> pictures;
    for (int frame = 1; frame <= ConnectionAnimation::kFrameCount; ++frame) {
        const QPixmap picture = animation.framePicture(frame);
        EXPECT_EQ(picture.size(), QSize(230, 80));
        pictures.insert(pictureBytes(picture));
    }
    EXPECT_EQ(pictures.size(), 13u);
    EXPECT_EQ(animation.currentFrame(), 1);
}

TEST(ConnectionAnimationTest, ShowFrameClampsAndShowsThatPicture) {
    ConnectionAnimation animation;
    animation.showFrame(7);
    EXPECT_EQ(animation.currentFrame(), 7);
    EXPECT_EQ(pictureBytes(animation.pixmap()), pictureBytes(animation.framePicture(7)));
    animation.showFrame(40);
    EXPECT_EQ(animation.currentFrame(), 13);
    animation.showFrame(-2);
    EXPECT_EQ(animation.currentFrame(), 1);
}

TEST(ConnectionAnimationTest, PlayLoopsOverItsFramesUntilStopped) {
    ConnectionAnimation animation;
    animation.setFrameInterval(2);
    QSignalSpy frames(&animation, &ConnectionAnimation::frameChanged);
    animation.play(3, 13);
    EXPECT_TRUE(animation.isPlaying());
    // Wait until the loop has wrapped round at least once.
    while (frames.size() < 15)
        ASSERT_TRUE(frames.wait(1000));
    std::vector<int> shown;
    for (const QList<QVariant>& signal : frames)
        shown.push_back(signal.at(0).toInt());
    for (std::size_t i = 0; i + 1 < shown.size(); ++i) {
        ASSERT_GE(shown[i], 3);
        ASSERT_LE(shown[i], 13);
        const int expected = shown[i] == 13 ? 3 : shown[i] + 1;
        EXPECT_EQ(shown[i + 1], expected) << "after frame " << shown[i];
    }
    animation.stop();
    EXPECT_FALSE(animation.isPlaying());
    const int stoppedAt = animation.currentFrame();
    frames.clear();
    EXPECT_FALSE(frames.wait(30));
    EXPECT_EQ(animation.currentFrame(), stoppedAt);
}

TEST(ConnectionAnimationTest, EachCollectionStateShowsItsFrames) {
    ConnectionAnimation animation;
    animation.setFrameInterval(2);
    animation.showState(CollectionState::Ready);
    EXPECT_EQ(animation.currentFrame(), 2);
    EXPECT_FALSE(animation.isPlaying());

    animation.showState(CollectionState::Collecting);
    EXPECT_TRUE(animation.isPlaying());
    EXPECT_EQ(animation.currentFrame(), 3);
    QSignalSpy frames(&animation, &ConnectionAnimation::frameChanged);
    ASSERT_TRUE(frames.wait(1000));
    EXPECT_GT(animation.currentFrame(), 3);

    animation.showState(CollectionState::CollectingOffline);
    EXPECT_FALSE(animation.isPlaying());
    EXPECT_EQ(animation.currentFrame(), 1);

    animation.showState(CollectionState::Collecting);
    animation.showState(CollectionState::Offline);
    EXPECT_FALSE(animation.isPlaying());
    EXPECT_EQ(animation.currentFrame(), 1);
}
