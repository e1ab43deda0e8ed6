#include "decoder/gs1_element_strings.h"

#include <gtest/gtest.h>

#include <string>

namespace dm {
namespace {

TEST(Gs1ElementStrings, IdentifiersInParenthesesFieldsByLengthOrSeparator) {
    struct Case {
        std::string bytes;
        const char* elements;  // nullptr: not element strings
    };
    const std::string gs = "\x1D";
    const Case cases[] = {
        {"01095011015300031714070410AB-123", "(01)09501101530003(17)140704(10)AB-123"},
        // Variable fields end at a separator; one after a fixed field is allowed too.
        {"10AB" + gs + "21XY" + gs + "00123456789012345678" + gs,
         "(10)AB(21)XY(00)123456789012345678"},
        // Three- and four-digit identifiers.
        {"41012345678901283103000750", "(410)1234567890128(3103)000750"},
        {"", ""},
        {"0112345", nullptr},          // fixed-length field cut short
        {"05123", nullptr},            // unassigned identifier
        {"1A23", nullptr},             // identifier not digits
        {"10AB" + gs + "x", nullptr},  // nothing but an identifier may follow a separator
        {"310", nullptr},              // four-digit identifier cut short
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        const auto elements = gs1ElementStrings(c.bytes);
        if (c.elements == nullptr) {
            EXPECT_FALSE(elements.has_value()) << *elements;
        } else {
            EXPECT_EQ(elements.value_or("(none)"), c.elements);
        }
    }
}

}  // namespace
}  // namespace dm
