#include "codepagechoice.h"

#include <cctype>

namespace tables::codepage {

const std::vector<Choice> &choices()
{
    static const std::vector<Choice> list = {
        {0, "Автоматически", "auto"}, {866, "866", "866"},     {1251, "1251", "1251"},
        {20866, "KOI8-R", "koi8-r"},  {437, "437", "437"},     {850, "850", "850"},
        {852, "852", "852"},          {1250, "1250", "1250"},  {1252, "1252", "1252"},
        {65001, "UTF-8", "utf-8"},
    };
    return list;
}

int parseChoice(std::string_view text)
{
    std::string t;
    for (char c : text)
        if (c != '-' && c != '_' && c != ' ')
            t += char(std::tolower(static_cast<unsigned char>(c)));
    if (t.rfind("cp", 0) == 0 && t.size() > 2 && std::isdigit(static_cast<unsigned char>(t[2])))
        t.erase(0, 2);
    if (t == "auto" || t == "automatic")
        return 0;
    if (t == "utf8")
        return 65001;
    if (t == "koi8r" || t == "20866")
        return 20866;
    for (const Choice &c : choices())
        if (c.codePage != 0 && c.codePage != 65001 && c.codePage != 20866 && t == c.key)
            return c.codePage;
    return -1;
}

std::string displayName(int codePage)
{
    switch (codePage) {
    case 65001: return "UTF-8";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    default: break;
    }
    if (codePage >= 28591 && codePage <= 28606)
        return "ISO-8859-" + std::to_string(codePage - 28590);
    return std::to_string(codePage);
}

} // namespace tables::codepage
