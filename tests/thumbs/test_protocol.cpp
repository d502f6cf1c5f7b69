#include "thumbs/Protocol.h"

#include <gtest/gtest.h>
#include <string>

using namespace tavolix::thumbs;

namespace {

std::string PayloadOf(const std::string& frame) {
    return frame.substr(8);
}

TThumbReply TwoByOne() {
    TThumbReply a;
    a.Id = 0x1122334455667788ull;
    a.Status = TReplyStatus::Ok;
    a.Source = TReplySource::Made;
    a.IconHandle = 2;
    a.PictureWidth = 5120;
    a.PictureHeight = 2880;
    a.Width = 2;
    a.Height = 1;
    a.Pixels = std::string(8, '\x7f');
    a.Metafile = "meta";
    return a;
}

} // namespace

TEST(Protocol, RequestsAndRepliesCrossWhole) {
    TThumbRequest q;
    q.Id = 42;
    q.Kind = TRequestKind::PartPicture;
    q.Size = TThumbSize::Large;
    q.BoxWidth = 300;
    q.BoxHeight = 36;
    q.IconSize = 64;
    q.Dpi = 192;
    q.Path = "/写真/#1 100%.jpg\xFF";
    const auto back = DecodeRequest(PayloadOf(EncodeRequest(q)));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Id, 42u);
    EXPECT_EQ(back->Kind, TRequestKind::PartPicture);
    EXPECT_EQ(back->Size, TThumbSize::Large);
    EXPECT_EQ(back->BoxWidth, 300);
    EXPECT_EQ(back->IconSize, 64);
    EXPECT_EQ(back->Dpi, 192);
    EXPECT_EQ(back->Path, q.Path);

    const auto reply = DecodeReply(PayloadOf(EncodeReply(TwoByOne())));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Id, 0x1122334455667788ull);
    EXPECT_EQ(reply->IconHandle, 2);
    EXPECT_EQ(reply->PictureWidth, 5120);
    EXPECT_EQ(reply->Pixels, std::string(8, '\x7f'));
    EXPECT_EQ(reply->Metafile, "meta");
    EXPECT_TRUE(IsHello(PayloadOf(EncodeHello())));
}

TEST(Protocol, PageThumbnailsCarryTheirFoldersAndFilesWhileOtherFramesStayAsTheyWere) {
    TThumbRequest q;
    q.Id = 7;
    q.Kind = TRequestKind::PageThumbnail;
    q.Path = "/写真/#1 100%.jpg";
    q.Output = "/w/.tavolix-1-0.dir";
    q.Reuse = "/w/p&q.files";
    const std::string payload = PayloadOf(EncodeRequest(q));
    const auto back = DecodeRequest(payload);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Output, q.Output);
    EXPECT_EQ(back->Reuse, q.Reuse);
    // Without its folders, or with one it could not name, it is no request.
    EXPECT_FALSE(DecodeRequest(payload.substr(0, payload.size() - q.Reuse.size() - 4)));
    q.Output = std::string("/a\0b", 4);
    EXPECT_FALSE(DecodeRequest(PayloadOf(EncodeRequest(q))));
    // Other kinds carry no folders: their bytes are those of version 1.
    q.Kind = TRequestKind::Picture;
    const std::string picture = PayloadOf(EncodeRequest(q));
    EXPECT_EQ(picture.size(), 8 + 2 + 5 * 4 + 4 + q.Path.size());
    EXPECT_FALSE(DecodeRequest(picture + std::string(8, '\0')));

    TThumbReply a = TwoByOne();
    EXPECT_EQ(PayloadOf(EncodeReply(a)).size(), 8 + 3 + 4 * 4 + 4 + 8 + 4 + 4); // as in version 1
    a.Pixels.clear();
    a.Width = a.Height = 0;
    a.PageFormat = TPageFormat::Png;
    a.PageName = PageThumbnailName("file:///a.png", 1600000000, 1234);
    a.PageDouble = true;
    a.PageWidth = 256;
    a.PageHeight = 144;
    const auto reply = DecodeReply(PayloadOf(EncodeReply(a)));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->PageFormat, TPageFormat::Png);
    EXPECT_EQ(reply->PageName, a.PageName);
    EXPECT_TRUE(reply->PageDouble);
    EXPECT_EQ(reply->PageWidth, 256);
    EXPECT_EQ(reply->PageHeight, 144);
    // Refused: a thumbnail bigger than any page shows, one without a size,
    // and a name that would be a path.
    for (auto broken :
         {+[](TThumbReply& r) { r.PageWidth = kPageSide + 1; }, +[](TThumbReply& r) { r.PageWidth = 0; },
          +[](TThumbReply& r) { r.PageName = "../../../../../../../../etc/passwd.x"; },
          +[](TThumbReply& r) { r.PageName.back() = 'G'; }}) {
        TThumbReply bad = a;
        broken(bad);
        EXPECT_FALSE(DecodeReply(PayloadOf(EncodeReply(bad))));
    }
    a = TwoByOne();
    a.Status = TReplyStatus::NotWritten;
    a.WriteErrno = 27;
    EXPECT_EQ(DecodeReply(PayloadOf(EncodeReply(a)))->WriteErrno, 27);

    // A file that changed is another name.
    EXPECT_NE(PageThumbnailName("file:///a.png", 1600000000, 1234),
              PageThumbnailName("file:///a.png", 1600000001, 1234));
    EXPECT_NE(PageThumbnailName("file:///a.png", 1600000000, 1234),
              PageThumbnailName("file:///a.png", 1600000000, 1235));
    EXPECT_EQ(PageFileSuffix(TPageFormat::Jpeg, false), ".jpg");
    EXPECT_EQ(PageFileSuffix(TPageFormat::Png, true), "-2x.png");
}

TEST(Protocol, PayloadsOutsideTheLimitsAreRefused) {
    const std::string good = PayloadOf(EncodeReply(TwoByOne()));
    EXPECT_FALSE(DecodeReply(good.substr(0, good.size() - 1)));
    EXPECT_FALSE(DecodeReply(good + "x"));
    TThumbReply wrongCount = TwoByOne();
    wrongCount.Pixels.pop_back(); // pixels that don't fill width x height
    EXPECT_FALSE(DecodeReply(PayloadOf(EncodeReply(wrongCount))));
    TThumbReply huge = TwoByOne();
    huge.Width = 1 << 20;
    huge.Height = 1 << 20;
    EXPECT_FALSE(DecodeReply(PayloadOf(EncodeReply(huge))));
    TThumbReply negative = TwoByOne();
    negative.Width = -2;
    EXPECT_FALSE(DecodeReply(PayloadOf(EncodeReply(negative))));

    TThumbRequest q;
    q.Path = "";
    EXPECT_FALSE(DecodeRequest(PayloadOf(EncodeRequest(q))));
    q.Path = std::string("/a\0b", 4);
    EXPECT_FALSE(DecodeRequest(PayloadOf(EncodeRequest(q))));
    q.Path = "/" + std::string(kMaxPathBytes, 'a');
    EXPECT_FALSE(DecodeRequest(PayloadOf(EncodeRequest(q))));
    q.Path = "/a";
    std::string badKind = PayloadOf(EncodeRequest(q));
    badKind[8] = 6;
    EXPECT_FALSE(DecodeRequest(badKind));

    std::string otherVersion = PayloadOf(EncodeHello());
    otherVersion.back() = '\x7f';
    EXPECT_FALSE(IsHello(otherVersion));
}

TEST(Protocol, FramesAreCutFromAnyPiecesAndOversizedOnesAreAFault) {
    const std::string stream = EncodeHello() + EncodeReply(TwoByOne());
    TFrameReader reader(kMaxReplyPayload);
    std::uint32_t type = 0;
    std::string payload;
    int frames = 0;
    for (char c : stream) {
        reader.Feed(&c, 1);
        while (reader.Next(type, payload) == TFrameReader::TResult::Frame)
            ++frames;
    }
    EXPECT_EQ(frames, 2);
    EXPECT_EQ(type, static_cast<std::uint32_t>(TFrameType::Reply));
    EXPECT_EQ(reader.Buffered(), 0u);

    TFrameReader small(16);
    const std::string big = EncodeFrame(TFrameType::Request, std::string(17, 'x'));
    small.Feed(big.data(), 8); // the length alone is enough to refuse it
    EXPECT_EQ(small.Next(type, payload), TFrameReader::TResult::Bad);
}
