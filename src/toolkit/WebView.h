#pragma once

#include <filesystem>
#include <string>

#include "toolkit/View.h"

namespace kesto {

// Shows an HTML page given as text; relative references in it resolve
// against the base URL (a file:// URL of the page's own folder or file).
//
// Threads: main thread only.
class WebView : public View {
  public:
    ViewKind kind() const override { return ViewKind::WebView; }

    void loadHTMLString(std::string html, std::string baseURL) {
        html_ = std::move(html);
        baseURL_ = std::move(baseURL);
    }
    // "file://" and the absolute path, each byte outside the URL's plain
    // characters percent-encoded (spaces, accents...).
    static std::string fileURLWithPath(const std::filesystem::path& path);

    const std::string& html() const { return html_; }
    const std::string& baseURL() const { return baseURL_; }

  private:
    std::string html_;
    std::string baseURL_;
};

}  // namespace kesto
