// Tests of the Qt platform services' clipboard reading: transparency and the size limit.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#include "QtPlatformServices.h"

namespace zelqor {
namespace {

TEST(QtPlatformServicesClipboard, TransparencyIsLaidOverWhite) {
    QImage image(2, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(255, 0, 0, 0));
    image.setPixel(1, 0, qRgba(0, 0, 255, 128));
    QGuiApplication::clipboard()->setImage(image);
    const std::optional<WorkingBitmap> pasted = QtPlatformServices().ClipboardImage();
    ASSERT_TRUE(pasted && pasted->Width() == 2);
    EXPECT_EQ(pasted->Pixel(0, 0), MakePixel(255, 255, 255, 255));
    EXPECT_EQ(pasted->Pixel(1, 0), MakePixel(127, 127, 255, 255));
}

TEST(QtPlatformServicesClipboard, PictureBeyondTheToolkitsDefaultLimitArrives) {
    // 140 MB decoded: more than the 128 MB the toolkit's reader takes unless told otherwise.
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    QImage large(7000, 5000, QImage::Format_RGB32);
    large.fill(qRgb(40, 90, 160));
    large.save(&png, "PNG");
    auto* data = new QMimeData;
    data->setData("image/png", png.data());
    QGuiApplication::clipboard()->setMimeData(data);
    const std::optional<WorkingBitmap> pasted = QtPlatformServices().ClipboardImage();
    ASSERT_TRUE(pasted && pasted->Width() == 7000 && pasted->Height() == 5000);
    EXPECT_EQ(pasted->Pixel(6999, 4999), MakePixel(40, 90, 160, 255));
}

}  // namespace
}  // namespace zelqor
