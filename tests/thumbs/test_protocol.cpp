#include "thumbs/Protocol.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace tavolix::thumbs;

namespace {

std::string PayloadOf(const std::string& frame) {
    return frame.substr(8);
}

THelperReply TwoByOne() {
    THelperReply h;
    TThumbReply& a = h.Reply;
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
    return h;
}

THelperRequest PageRequest() {
    THelperRequest q;
    q.Id = 42;
    q.Kind = TRequestKind::PageThumbnail;
    q.Size = TThumbSize::Large;
    q.Decoder = TDecoder::QtImage;
    q.Part = TPartGroup::Bitmap;
    q.BoxWidth = 300;
    q.BoxHeight = 36;
    q.IconSize = 64;
    q.Dpi = 192;
    q.Format = "tga";
    q.Original = {ThumbnailUri("/写真/#1 100%.jpg\xFF"), 1600000000, 1234};
    q.Cached = true;
    q.Files = {TFileRole::Source, TFileRole::CacheXLarge, TFileRole::OldPng2x};
    return q;
}

THelperReply PageReply() {
    THelperReply h = TwoByOne();
    h.Reply.Pixels.clear();
    h.Reply.Width = h.Reply.Height = 0;
    h.Reply.PageFormat = TPageFormat::Png;
    h.Reply.PageDouble = true;
    h.Reply.PageWidth = 256;
    h.Reply.PageHeight = 144;
    h.PageFile = "png";
    h.PageFile2x = "png 2x";
    h.CacheFiles = {{TThumbSize::Large, "large"}, {TThumbSize::XLarge, "x-large"}};
    return h;
}

} // namespace

TEST(Protocol, RequestsRepliesAndHellosCrossWhole) {
    const THelperRequest q = PageRequest();
    const auto back = DecodeRequest(PayloadOf(EncodeRequest(q)));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Id, 42u);
    EXPECT_EQ(back->Kind, TRequestKind::PageThumbnail);
    EXPECT_EQ(back->Size, TThumbSize::Large);
    EXPECT_EQ(back->Decoder, TDecoder::QtImage);
    EXPECT_EQ(back->Part, TPartGroup::Bitmap);
    EXPECT_EQ(back->BoxWidth, 300);
    EXPECT_EQ(back->IconSize, 64);
    EXPECT_EQ(back->Dpi, 192);
    EXPECT_EQ(back->Format, "tga");
    EXPECT_EQ(back->Original.Uri, q.Original.Uri);
    EXPECT_EQ(back->Original.MTime, 1600000000);
    EXPECT_EQ(back->Original.Size, 1234);
    EXPECT_TRUE(back->Cached);
    EXPECT_EQ(back->Files, q.Files);

    const auto reply = DecodeReply(PayloadOf(EncodeReply(TwoByOne())));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Reply.Id, 0x1122334455667788ull);
    EXPECT_EQ(reply->Reply.IconHandle, 2);
    EXPECT_EQ(reply->Reply.PictureWidth, 5120);
    EXPECT_EQ(reply->Reply.Pixels, std::string(8, '\x7f'));
    EXPECT_EQ(reply->Reply.Metafile, "meta");

    const auto page = DecodeReply(PayloadOf(EncodeReply(PageReply())));
    ASSERT_TRUE(page);
    EXPECT_EQ(page->Reply.PageFormat, TPageFormat::Png);
    EXPECT_TRUE(page->Reply.PageDouble);
    EXPECT_EQ(page->Reply.PageWidth, 256);
    EXPECT_EQ(page->PageFile, "png");
    EXPECT_EQ(page->PageFile2x, "png 2x");
    ASSERT_EQ(page->CacheFiles.size(), 2u);
    EXPECT_EQ(page->CacheFiles[1].Size, TThumbSize::XLarge);
    EXPECT_EQ(page->CacheFiles[1].Png, "x-large");

    TSandboxState sandbox;
    sandbox.FileSystem = true;
    sandbox.Detail = "this kernel has no seccomp filters";
    const auto hello = DecodeHello(PayloadOf(EncodeHello(sandbox)));
    ASSERT_TRUE(hello);
    EXPECT_TRUE(hello->FileSystem);
    EXPECT_FALSE(hello->Calls);
    EXPECT_EQ(hello->Detail, sandbox.Detail);

    // A file that changed is another name.
    EXPECT_NE(PageThumbnailName("file:///a.png", 1600000000, 1234),
              PageThumbnailName("file:///a.png", 1600000001, 1234));
    EXPECT_NE(PageThumbnailName("file:///a.png", 1600000000, 1234),
              PageThumbnailName("file:///a.png", 1600000000, 1235));
    EXPECT_EQ(PageFileSuffix(TPageFormat::Jpeg, false), ".jpg");
    EXPECT_EQ(PageFileSuffix(TPageFormat::Png, true), "-2x.png");
}

TEST(Protocol, DescriptorsArriveWithTheBytesTheyWereSentWith) {
    int sv[2], pipeFds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv), 0);
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    ASSERT_EQ(SendWithFiles(sv[0], "request", {pipeFds[0], pipeFds[1]}), 7);
    char buf[16];
    std::vector<int> files;
    ASSERT_EQ(ReceiveWithFiles(sv[1], buf, sizeof buf, files), 7);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_NE(::fcntl(files[0], F_GETFD) & FD_CLOEXEC, 0);
    // The same pipe: written through one copy, read through the other.
    ASSERT_EQ(::write(files[1], "x", 1), 1);
    char byte = 0;
    EXPECT_EQ(::read(pipeFds[0], &byte, 1), 1);
    EXPECT_EQ(byte, 'x');
    for (int fd : {sv[0], sv[1], pipeFds[0], pipeFds[1], files[0], files[1]})
        ::close(fd);
}

TEST(Protocol, PayloadsOutsideTheLimitsAreRefused) {
    const std::string good = PayloadOf(EncodeReply(TwoByOne()));
    EXPECT_FALSE(DecodeReply(good.substr(0, good.size() - 1)));
    EXPECT_FALSE(DecodeReply(good + "x"));
    // Replies that break a limit or don't hang together.
    for (auto broken : {
             +[](THelperReply& r) { r.Reply.Pixels.pop_back(); }, // pixels that don't fill width x height
             +[](THelperReply& r) { r.Reply.Width = r.Reply.Height = 1 << 20; },
             +[](THelperReply& r) { r.Reply.Width = -2; },
             +[](THelperReply& r) { r.Reply.Status = TReplyStatus::NotWritten; },  // the pool's alone
             +[](THelperReply& r) { r.Reply.Status = TReplyStatus::Unavailable; }, // the pool's too
             +[](THelperReply& r) { r.PageFile = "a page's file without its format"; },
             +[](THelperReply& r) {
                 r.CacheFiles = {{TThumbSize::Large, "a"}, {TThumbSize::Large, "b"}};
             },
             +[](THelperReply& r) {
                 r.CacheFiles = {{TThumbSize::Large, ""}};
             },
         }) {
        THelperReply bad = TwoByOne();
        broken(bad);
        EXPECT_FALSE(DecodeReply(PayloadOf(EncodeReply(bad))));
    }
    for (auto broken : {
             +[](THelperReply& r) { r.Reply.PageWidth = kPageSide + 1; },
             +[](THelperReply& r) { r.Reply.PageWidth = 0; },
             +[](THelperReply& r) { r.PageFile2x.clear(); }, // said twice the size, sent none
             +[](THelperReply& r) { r.TakeOver = true; },    // taken over and sent too
         }) {
        THelperReply bad = PageReply();
        broken(bad);
        EXPECT_FALSE(DecodeReply(PayloadOf(EncodeReply(bad))));
    }
    THelperReply takeOver = PageReply();
    takeOver.TakeOver = true;
    takeOver.PageFile.clear();
    takeOver.PageFile2x.clear();
    EXPECT_TRUE(DecodeReply(PayloadOf(EncodeReply(takeOver))));

    for (auto broken : {
             +[](THelperRequest& q) { q.Original.Uri.clear(); },
             +[](THelperRequest& q) { q.Original.Uri = std::string("file:///a\0b", 11); },
             +[](THelperRequest& q) { q.Format = "../x"; },
             +[](THelperRequest& q) { q.Files = {TFileRole::CacheLarge}; }, // not the file itself
             +[](THelperRequest& q) {
                 q.Files = {TFileRole::Source, TFileRole::Source};
             },
             +[](THelperRequest& q) { q.Files.assign(kMaxRequestFiles + 1, TFileRole::Source); },
             +[](THelperRequest& q) { q.Kind = static_cast<TRequestKind>(4); },
             +[](THelperRequest& q) { q.Kind = static_cast<TRequestKind>(7); },
             +[](THelperRequest& q) {
                 q.Files = {TFileRole::Source, static_cast<TFileRole>(11)};
             },
             +[](THelperRequest& q) { q.Dpi = 0; },
         }) {
        THelperRequest bad = PageRequest();
        broken(bad);
        EXPECT_FALSE(DecodeRequest(PayloadOf(EncodeRequest(bad))));
    }

    std::string otherVersion = PayloadOf(EncodeHello({}));
    otherVersion[8] = '\x7f';
    EXPECT_FALSE(DecodeHello(otherVersion));
}

TEST(Protocol, FramesAreCutFromAnyPiecesAndOversizedOnesAreAFault) {
    const std::string stream = EncodeHello({}) + EncodeReply(TwoByOne());
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
