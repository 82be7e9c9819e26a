#include "history/XmlNesting.h"

namespace kesto {

bool XmlNesting::within(std::string_view text, std::size_t limit) {
    std::size_t depth = 0;
    std::size_t pos = 0;
    const auto skipPast = [&](std::string_view end) {
        const std::size_t at = text.find(end, pos);
        pos = at == std::string_view::npos ? text.size() : at + end.size();
    };
    while ((pos = text.find('<', pos)) != std::string_view::npos) {
        const std::string_view rest = text.substr(pos);
        if (rest.substr(0, 4) == "<!--") {
            skipPast("-->");
        } else if (rest.substr(0, 9) == "<![CDATA[") {
            skipPast("]]>");
        } else if (rest.substr(0, 2) == "<?") {
            skipPast("?>");
        } else if (rest.substr(0, 2) == "<!") {
            skipPast(">");
        } else if (rest.substr(0, 2) == "</") {
            depth = depth > 0 ? depth - 1 : 0;
            skipPast(">");
        } else {
            const std::size_t close = text.find('>', pos);
            if (close == std::string_view::npos) {
                return true;  // an unfinished tag nests nothing more
            }
            if (text[close - 1] != '/' && ++depth > limit) {
                return false;
            }
            pos = close + 1;
        }
    }
    return true;
}

}  // namespace kesto
