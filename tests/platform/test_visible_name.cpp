#include "platform/VisibleName.h"

#include <gtest/gtest.h>
#include <string>

using tavolix::platform::VisibleName;

TEST(VisibleName, OrdinaryNamesComeBackUnchanged) {
    for (const char* name : {"", "a & b <c> \"d\".gif", "写真 #1 %41.jpg", "ｶﾀｶﾅ.txt", "back\\slash",
                             // U+00A0, U+200D (joins emoji), U+2027, U+202F, U+2065, U+206A, U+FEFF
                             "\xC2\xA0", "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9", "\xE2\x80\xA7",
                             "\xE2\x80\xAF", "\xE2\x81\xA5", "\xE2\x81\xAA", "\xEF\xBB\xBF", "\xD8\x9B"})
        EXPECT_EQ(VisibleName(name), name) << name;
}

TEST(VisibleName, ControlsAreShownAsEscapes) {
    struct {
        std::string Name, Shown;
    } cases[] = {
        {"evil\xE2\x80\xAEgpj.exe", "evil\\u202Egpj.exe"},
        {"a\rb\nc\td", "a\\u000Db\\u000Ac\\u0009d"},
        {std::string("nul\0.txt", 8), "nul\\u0000.txt"},
        {"\x1B[31mred\x7F", "\\u001B[31mred\\u007F"},
        {"c1\xC2\x80\xC2\x85\xC2\x9B\xC2\x9F", "c1\\u0080\\u0085\\u009B\\u009F"},
        {"\xD8\x9C\xE2\x80\x8E\xE2\x80\x8F", "\\u061C\\u200E\\u200F"},
        {"\xE2\x80\xA8\xE2\x80\xA9\xE2\x80\xAA\xE2\x80\xAB\xE2\x80\xAC\xE2\x80\xAD",
         "\\u2028\\u2029\\u202A\\u202B\\u202C\\u202D"},
        {"\xE2\x81\xA6x\xE2\x81\xA7\xE2\x81\xA8\xE2\x81\xA9", "\\u2066x\\u2067\\u2068\\u2069"},
        // Not UTF-8: a stray byte, an overlong "/", a surrogate, a cut-off character.
        {"\xFF\xC0\xAF\xED\xA0\x80z\xE2\x80",
         "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF"
         "\xBDz\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VisibleName(c.Name), c.Shown) << c.Shown;
}
