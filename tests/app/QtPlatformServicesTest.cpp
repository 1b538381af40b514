// Tests of the Qt platform services' clipboard reading: transparency and the size limit.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#include "ImageIoError.h"
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

// A PNG that declares 20000 x 20000 pixels (IHDR) and brings none (an empty IDAT, IEND): the
// size alone refuses it, before the reader would allocate 1.6 GB and then fail for want of pixels.
TEST(QtPlatformServicesClipboard, PictureBeyondOurLimitIsRefusedFromItsHeader) {
    const QByteArray png(
        "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x4e\x20\0\0\x4e\x20\x08\x02\0\0\0\x6c\x12\xd1\x6e"
        "\0\0\0\0IDAT\x35\xaf\x06\x1e\0\0\0\0IEND\xae\x42\x60\x82",
        57);
    auto* data = new QMimeData;
    data->setData("image/png", png);
    QGuiApplication::clipboard()->setMimeData(data);
    try {
        QtPlatformServices().ClipboardImage();
        ADD_FAILURE() << "a 20000 x 20000 picture was taken";
    } catch (const ImageIoError& e) {
        EXPECT_EQ(e.Text(), ImageTooLargeText(20000, 20000));
    }
}

}  // namespace
}  // namespace zelqor
