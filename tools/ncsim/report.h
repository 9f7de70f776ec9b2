#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ncsim {

// key=value lines, in the order they were added.
class Report {
public:
    void Add(std::string key, std::string value) {
        items_.emplace_back(std::move(key), std::move(value));
    }
    void Add(std::string key, const char* value) { Add(std::move(key), std::string(value)); }
    void Add(std::string key, long long value) { Add(std::move(key), std::to_string(value)); }
    void Add(std::string key, double value);
    // Replaces the value of a key already there, or adds it.
    void Set(const std::string& key, std::string value);

    std::string Text() const;

private:
    std::vector<std::pair<std::string, std::string>> items_;
};

// Writes the file whole under a temporary name and renames it into place, so
// a reader polling for it never sees half of it.
bool WriteWholeFile(const std::string& path, std::string_view bytes, std::string& error);

}  // namespace ncsim
