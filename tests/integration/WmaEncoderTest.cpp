#include "../platform/audio/AudioTestUtil.h"
#include "DiscImageWriter.h"
#include "platform/audio/AudioLibrary.h"
#include "platform/audio/encode/WmaEncoder.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using qm::audio::WmaEncoder;

namespace {

QString EncodeSine(const QString& file, std::uint32_t rate, double seconds, std::size_t chunk)
{
    int error = 0;
    auto enc = WmaEncoder::Open(file.toStdString(), rate, true, &error);
    if (!enc)
        return QString("open failed %1").arg(error);
    enc->setTag("", "", &error);
    const auto pcm = qm::test::TonePcm(seconds, 440, 440);
    auto* bytes = reinterpret_cast<const char*>(pcm.data());
    const std::size_t total = pcm.size();
    for (std::size_t at = 0; at < total; at += chunk)
        if (!enc->write(bytes + at, std::min(chunk, total - at), &error))
            return QString("write failed %1").arg(error);
    return enc->close(&error) ? QString() : QString("close failed %1").arg(error);
}

TEST(WmaEncoderTest, OffersTheRatesHighestFirst)
{
    std::vector<std::uint32_t> list;
    for (const std::uint32_t* rate = WmaEncoder::Rates(); rate && *rate; ++rate)
        list.push_back(*rate);
    EXPECT_EQ(list, (std::vector<std::uint32_t>{320000, 256000, 192000, 160000, 128000, 96000, 80000, 64000,
                                                48000, 32000}));
}

// The highest, the usual and the lowest rate.
TEST(WmaEncoderTest, OfferedRatesEncodeToTheRightDurationAndRoughRate)
{
    QTemporaryDir dir;
    for (const std::uint32_t* r : {WmaEncoder::Rates(), WmaEncoder::Rates() + 4, WmaEncoder::Rates() + 9}) {
        QString file = dir.filePath(QString("r%1.wma").arg(*r));
        // 20000-byte writes split sample frames, as the WMA writer does.
        ASSERT_EQ(EncodeSine(file, *r, 20.0, 20000), QString()) << *r;
        EXPECT_NEAR(qm::test::DecodedSeconds(file), 20.0, 0.1) << *r;
        double kbps = QFile(file).size() * 8.0 / 20.0 / 1000;
        EXPECT_LT(kbps, *r / 1000.0 * 1.2 + 8) << *r; // the packet size keeps high rates honest
    }
}

TEST(WmaEncoderTest, AFileClosedWithoutDataIsValidAndReplacesTheOldOne)
{
    QTemporaryDir dir;
    QString file = dir.filePath("empty.wma");
    {
        QFile old(file);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(500000, 'x'));
    }
    int error = 0;
    auto enc = WmaEncoder::Open(file.toStdString(), 64000, true, &error);
    ASSERT_TRUE(enc);
    ASSERT_TRUE(enc->close(&error));
    EXPECT_LT(QFile(file).size(), 100000);
    EXPECT_FALSE(qm::test::RunTool("ffprobe", {"-v", "error", "-show_format", file}).isEmpty());
    EXPECT_FALSE(enc->write("abcd", 4, &error));
    EXPECT_EQ(error, qm::BASS_ERROR_HANDLE);
    EXPECT_FALSE(WmaEncoder::Open(dir.filePath("x.wma").toStdString(), 127000, true, &error)) << "no such rate";
    EXPECT_EQ(error, qm::BASS_ERROR_ILLPARAM);
}

} // namespace
