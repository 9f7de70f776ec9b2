#include "report.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace ncsim {

void Report::Add(std::string key, double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", value);
    Add(std::move(key), std::string(text));
}

void Report::Set(const std::string& key, std::string value) {
    for (auto& item : items_) {
        if (item.first == key) {
            item.second = std::move(value);
            return;
        }
    }
    Add(key, std::move(value));
}

std::string Report::Text() const {
    std::string text;
    for (const auto& [key, value] : items_) text += key + "=" + value + "\n";
    return text;
}

bool WriteWholeFile(const std::string& path, std::string_view bytes, std::string& error) {
    const std::string temporary = path + ".ncsim-" + std::to_string(::getpid());
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    bool ok = file != nullptr;
    if (ok) {
        ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        ok = std::fclose(file) == 0 && ok;
    }
    if (ok) ok = std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        error = path + ": " + std::strerror(errno);
        std::remove(temporary.c_str());
    }
    return ok;
}

}  // namespace ncsim
