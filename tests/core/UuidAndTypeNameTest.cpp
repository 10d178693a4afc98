#include "core/Clock.h"
#include "core/Error.h"
#include "core/TypeName.h"
#include "core/Uuid.h"

#include <gtest/gtest.h>
#include <set>

using namespace ombrix;

namespace ombrix::testing_ns {
struct Widget {};
template <class T> struct Box {};
} // namespace ombrix::testing_ns

TEST(Uuid, RandomUuidsAreVersion4VariantRfcAndDistinct) {
    std::set<Uuid> seen;
    for (int i = 0; i < 1000; ++i) {
        Uuid u = Uuid::random();
        EXPECT_EQ(u.bytes()[6] >> 4, 4);
        EXPECT_EQ(u.bytes()[8] & 0xC0, 0x80);
        EXPECT_TRUE(seen.insert(u).second);
    }
}

TEST(Uuid, TextFormRoundTripsAndRejectsMalformedText) {
    Uuid u = Uuid::random();
    std::string text = u.toString();
    ASSERT_EQ(text.size(), 36u);
    EXPECT_EQ(text[8], '-');
    EXPECT_EQ(text[14], '4');
    EXPECT_EQ(Uuid::parse(text), u);
    EXPECT_EQ(Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F")->toString(),
              "e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    EXPECT_FALSE(Uuid::parse("e621e1f8c36c495a93fc0c247a3e6e5f"));
    EXPECT_FALSE(Uuid::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5g"));
    EXPECT_FALSE(Uuid::parse("e621e1f8-c36c-495a-93fc_0c247a3e6e5f"));
    EXPECT_TRUE(Uuid().isNil());
    EXPECT_FALSE(u.isNil());
}

TEST(TypeName, QualifiedAndPlainNames) {
    EXPECT_EQ(typeName<testing_ns::Widget>(), "ombrix::testing_ns::Widget");
    EXPECT_EQ(plainTypeName<testing_ns::Widget>(), "Widget");
    EXPECT_EQ(plainTypeName<testing_ns::Box<testing_ns::Widget>>(),
              "Box<ombrix::testing_ns::Widget>");
    EXPECT_EQ(plainTypeName<int>(), "int");
}

TEST(Error, CarriesDomainCodeAndDescription) {
    Error e("PDFKitBridge", -3, "disk full");
    EXPECT_EQ(e.domain(), "PDFKitBridge");
    EXPECT_EQ(e.code(), -3);
    EXPECT_STREQ(e.what(), "disk full");
    EXPECT_EQ(describe(e), "disk full");
    EXPECT_EQ(describe(std::make_exception_ptr(std::runtime_error("plain"))), "plain");
    EXPECT_EQ(describe(std::exception_ptr{}), "");
}

TEST(Clock, ReferenceDateConversionsRoundTrip) {
    TimePoint ref = fromSecondsSinceReferenceDate(0);
    EXPECT_DOUBLE_EQ(std::chrono::duration<double>(ref.time_since_epoch()).count(), 978307200.0);
    EXPECT_DOUBLE_EQ(secondsSinceReferenceDate(fromSecondsSinceReferenceDate(12345.25)), 12345.25);
    // Dates of today keep their fraction exactly through a round trip.
    EXPECT_DOUBLE_EQ(secondsSinceReferenceDate(fromSecondsSinceReferenceDate(818396158.75)),
                     818396158.75);
    ManualClock clock;
    auto t0 = clock.now();
    clock.advance(seconds(1.5));
    EXPECT_EQ(clock.now() - t0, seconds(1.5));
}
