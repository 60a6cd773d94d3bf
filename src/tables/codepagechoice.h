#pragma once
// The code pages a user can choose for a table's text instead of the one the table says.
#include <string>
#include <string_view>
#include <vector>

namespace tables::codepage {

struct Choice {
    int codePage;          // 0: as the table says; 65001: UTF-8; 20866: KOI8-R
    const char *label;     // as the menu shows it
    const char *key;       // as the command line names it
};

// Автоматически, 866, 1251, KOI8-R, 437, 850, 852, 1250, 1252, UTF-8 (in this order).
const std::vector<Choice> &choices();

// A command-line name ("auto", "866", "cp1251", "KOI8-R", "utf8" ...; any letter case) -> code
// page; 0 for "auto"; -1 when it is none of the choices.
int parseChoice(std::string_view text);

// Display name of a code page: "866", "1251", "KOI8-R", "UTF-8" ...
std::string displayName(int codePage);

} // namespace tables::codepage
