#include <gtest/gtest.h>

#include <cstring>

#include "MemBuffBase.h"
#include "MemBuffClassBase.h"
#include "StringChar.h"

namespace {

TEST(MemBuffTest, ResizeZeroKeepsStorageButCountsNothing) {
    CMemBuffBase<unsigned char> b;
    b.Resize(10);
    unsigned char* p = b.Data();
    ASSERT_NE(p, nullptr);
    b.Resize(0);
    EXPECT_EQ(b.Data(), p);
    EXPECT_EQ(b.GetCount(), 0);
    EXPECT_EQ(b.GetByteSize(), 0);
    // A negative size behaves like 0: no negative counts that later fills trust.
    b.Resize(-4);
    EXPECT_EQ(b.GetCount(), 0);
    EXPECT_TRUE(b.Fill(0xAA));
    EXPECT_FALSE(b.FillCount(0xAA, -1));
}

TEST(MemBuffTest, GetBufferNeverShrinksAndKeepsContents) {
    CMemBuffBase<char> b;
    b.Resize(10);
    std::memcpy(b.Data(), "0123456789", 10);
    char* p = b.GetBuffer(5);
    EXPECT_EQ(p, b.Data());
    EXPECT_EQ(b.GetCount(), 10);
    p = b.GetBuffer(1000);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(b.GetCount(), 1000);
    EXPECT_EQ(std::memcmp(p, "0123456789", 10), 0);
}

TEST(MemBuffTest, ByteSizeFollowsElementSize) {
    CMemBuffBase<wchar_t> w;
    w.Resize(6);
    EXPECT_EQ(w.GetByteSize(), static_cast<int64_t>(6 * sizeof(wchar_t)));
    CMemBuffBase<RGBQUAD> q;
    q.Resize(6);
    EXPECT_EQ(q.GetByteSize(), 24);
}

TEST(MemBuffTest, FillAndCopyRefuseWhatDoesNotFit) {
    CMemBuffBase<unsigned char> empty;
    EXPECT_FALSE(empty.Fill(1));
    const unsigned char src[4] = {1, 2, 3, 4};
    EXPECT_FALSE(empty.CopyIn(src, 4));

    CMemBuffBase<unsigned char> b;
    b.Resize(3);
    EXPECT_FALSE(b.CopyIn(src, 4));  // would write past the count
    EXPECT_FALSE(b.FillCount(0, 4));
    EXPECT_TRUE(b.CopyIn(src, 3));
    EXPECT_EQ(b.Data()[2], 3);

    CMemBuffBase<unsigned char> c;
    c.Resize(3);
    EXPECT_TRUE(c.CopyFrom(b));
    EXPECT_EQ(c.Data()[0], 1);
    b.Free();
    EXPECT_EQ(b.GetCount(), 0);
    EXPECT_EQ(b.Data(), nullptr);
}

TEST(MemBuffTest, HugeResizeFailsCleanly) {
    CMemBuffBase<RGBQUAD> b;
    b.Resize(16);
    b.Resize(INT32_MAX);  // 8 GiB: may or may not be granted; never a bad state
    if (b.Data() == nullptr) {
        EXPECT_EQ(b.GetCount(), 0);
    } else {
        EXPECT_EQ(b.GetCount(), INT32_MAX);
    }
}

TEST(MemBuffTest, NarrowStringCopiesWithTerminator) {
    CStringChar s("abc");
    EXPECT_EQ(s.Buffer().GetCount(), 4);
    EXPECT_STREQ(s.c_str(), "abc");
    CStringChar null_string(nullptr);
    EXPECT_EQ(null_string.Buffer().GetCount(), 0);
    EXPECT_STREQ(null_string.c_str(), "");
}

TEST(MemBuffTest, WideStringConvertsUtf8) {
    CStringCharW w("a\xE3\x81\x82/\xF0\x9F\x8E\xA5.wmv");  // a, HIRAGANA A, slash, MOVIE CAMERA
    ASSERT_EQ(w.Buffer().GetCount(), 9);
    EXPECT_EQ(w.c_str()[0], L'a');
    EXPECT_EQ(static_cast<uint32_t>(w.c_str()[1]), 0x3042u);
    EXPECT_EQ(static_cast<uint32_t>(w.c_str()[3]), 0x1F3A5u);
    EXPECT_EQ(w.c_str()[8], L'\0');

    CStringCharW null_string(nullptr);
    EXPECT_EQ(null_string.Buffer().GetCount(), 0);
    EXPECT_STREQ(null_string.c_str(), L"");

    // Broken sequences: a lone continuation byte, a truncated sequence, an
    // overlong encoding, an encoded surrogate.
    CStringCharW bad(
        "\x80"
        "x\xE3\x81"
        "\xC0\xAF"
        "\xED\xA0\x80");
    const wchar_t* p = bad.c_str();
    EXPECT_EQ(static_cast<uint32_t>(p[0]), 0xFFFDu);
    EXPECT_EQ(p[1], L'x');
    for (int i = 2; p[i] != 0; ++i) {
        EXPECT_EQ(static_cast<uint32_t>(p[i]), 0xFFFDu) << i;
    }
}

struct Counted {
    static inline int alive = 0;
    Counted() { ++alive; }
    virtual ~Counted() { --alive; }
};

TEST(MemBuffTest, OwnersReleaseWhatTheyHold) {
    {
        CMemBuffClassBase<Counted> one(new Counted);
        EXPECT_EQ(Counted::alive, 1);
        one.Attach(new Counted);
        EXPECT_EQ(Counted::alive, 1);
        one.Release();
        EXPECT_EQ(Counted::alive, 0);
        EXPECT_FALSE(one);
        one.Attach(new Counted);
        CMemBuffClassBaseConst<Counted> other(new Counted);
        EXPECT_EQ(Counted::alive, 2);
    }
    EXPECT_EQ(Counted::alive, 0);
}

TEST(MemBuffTest, ArrayOwnerCreatesAndDestroysEveryElement) {
    {
        CMemBuffClassArrayBase<Counted> arr;
        arr.Create(0);
        EXPECT_EQ(arr.GetCount(), 0);
        EXPECT_EQ(arr.Get(), nullptr);
        arr.Create(5);
        EXPECT_EQ(arr.GetCount(), 5);
        EXPECT_EQ(Counted::alive, 5);
        arr.Create(3);
        EXPECT_EQ(Counted::alive, 3);
        arr.Create(-1);
        EXPECT_EQ(Counted::alive, 0);
        arr.Create(2);
    }
    EXPECT_EQ(Counted::alive, 0);

    CMemBuffClassArrayBase<RGBQUAD> too_big;
    EXPECT_THROW(too_big.Create(INT32_MAX), std::bad_alloc);  // over 32 bits of bytes
    EXPECT_EQ(too_big.GetCount(), 0);
}

}  // namespace
