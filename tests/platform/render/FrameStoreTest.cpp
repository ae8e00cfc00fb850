#include "platform/render/FrameStore.h"

#include <gtest/gtest.h>

#include <thread>

using kestrine::platform::FrameStore;

// Once the window has said the size it paints at, a picture stored from another thread comes
// scaled to that size, as painting it would have scaled it; other sizes still scale when painted.
TEST(FrameStore, PicturesStoredAfterThePaintSizeIsKnownComeScaledToIt)
{
    QImage picture(1280, 720, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) picture.setPixel(x, y, qRgb(x % 256, y % 256, (x + y) % 256));
    const QSize painted(320, 180);
    FrameStore store;
    store.Store(picture);
    EXPECT_TRUE(store.Fitted(painted).isNull());

    store.SetPaintSize(painted);
    std::thread([&] { store.Store(picture); }).join();
    EXPECT_EQ(store.Fitted(painted), picture.scaled(painted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    EXPECT_TRUE(store.Fitted(QSize(640, 360)).isNull());
    EXPECT_EQ(store.Image(), picture);
}
