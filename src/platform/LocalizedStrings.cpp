#include "platform/LocalizedStrings.h"

#include <libintl.h>

#include <cstdarg>
#include <filesystem>
#include <mutex>
#include <optional>

#include "platform/Console.h"
#include "platform/Format.h"
#include "platform/MessageCatalog.h"
#include "platform/NoDestructor.h"
#include "platform/ResourceLocator.h"

namespace kesto {
namespace {

class TextTables {
  public:
    std::string lookup(std::string_view key) {
        // gettext gives its catalog header for the empty key, and a key with
        // a NUL in it would be looked up cut short: neither is a real key.
        if (key.empty() || key.find('\0') != std::string_view::npos) {
            return std::string(key);
        }
        const auto directory = ResourceLocator::localeDirectory();
        const std::string msgid(key);
        std::lock_guard lock(mutex_);
        bindTo(directory);
        const char* text = dgettext(LocalizedStrings::kDomain, msgid.c_str());
        if (text != msgid.c_str()) {
            return text;
        }
        if (!fallbackLoaded_) {
            loadFallback();
        }
        if (fallback_) {
            if (const auto* english = fallback_->find(key)) {
                return *english;
            }
        }
        return msgid;
    }

    std::vector<std::string> keysStartingWith(std::string_view prefix) {
        const auto directory = ResourceLocator::localeDirectory();
        std::lock_guard lock(mutex_);
        bindTo(directory);
        if (!fallbackLoaded_) {
            loadFallback();
        }
        return fallback_ ? fallback_->keysStartingWith(prefix) : std::vector<std::string>{};
    }

  private:
    // Follows the resource folder, which tests and KESTO_RESOURCES may move.
    void bindTo(const std::filesystem::path& directory) {
        if (bound_ && *bound_ == directory) {
            return;
        }
        bindtextdomain(LocalizedStrings::kDomain, directory.c_str());
        bind_textdomain_codeset(LocalizedStrings::kDomain, "UTF-8");
        bound_ = directory;
        fallback_.reset();
        fallbackLoaded_ = false;
    }

    void loadFallback() {
        fallbackLoaded_ = true;
        const auto path = *bound_ / LocalizedStrings::kFallbackLanguage / "LC_MESSAGES" /
                          (std::string(LocalizedStrings::kDomain) + ".mo");
        fallback_ = MessageCatalog::load(path);
        if (!fallback_) {
            Console::logf("Fail to load texts %s", path.c_str());
        }
    }

    std::mutex mutex_;
    std::optional<std::filesystem::path> bound_;
    std::optional<MessageCatalog> fallback_;
    bool fallbackLoaded_ = false;
};

TextTables& tables() {
    static NoDestructor<TextTables> instance;
    return instance.get();
}

}  // namespace

std::string LocalizedStrings::localizedString(std::string_view key) {
    return tables().lookup(key);
}

std::string LocalizedStrings::localizedFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vcformat(format, args);
    va_end(args);
    const std::string separator = localizedString("DecimalSeparator");
    if (separator == "." || separator == "DecimalSeparator") {
        return text;
    }
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool decimalPoint = text[i] == '.' && i > 0 && digit(text[i - 1]) &&
                                  i + 1 < text.size() && digit(text[i + 1]);
        out += decimalPoint ? separator : std::string(1, text[i]);
    }
    return out;
}

std::vector<std::string> LocalizedStrings::keysStartingWith(std::string_view prefix) {
    return tables().keysStartingWith(prefix);
}

}  // namespace kesto
