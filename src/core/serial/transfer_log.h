#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace wexal {

// The permanent record of every transfer: one line per transferred file in
// Wexal.log beside the settings, cp932, only ever appended to.
class TransferLog {
public:
    enum class Direction { Send, Receive };
    enum class Outcome { Completed, Aborted };

    explicit TransferLog(std::filesystem::path file) : file_(std::move(file)) {}

    const std::filesystem::path& file() const { return file_; }

    // Several machines writing one log (the DNC server): each entry ends in
    // a full-width blank and the tag (the machine's name), appends are
    // serialized through the shared mutex, and each entry, as UTF-8 without
    // its line end, is also handed to echo (standard output) once it is in
    // the file. Echo runs under the mutex: it must hand the line on, never
    // wait for the output, or every machine would wait with it.
    struct Sharing {
        std::string tag;
        std::shared_ptr<std::mutex> mutex;
        std::function<void(std::string_view entry)> echo;
    };
    void Share(Sharing sharing) { sharing_ = std::make_shared<const Sharing>(std::move(sharing)); }

    // The three lines a new log starts with, each ending in CR LF.
    static std::string Header();

    // "送信　　完了　yyyy/mm/dd hh:mm:ss　<file>\n" in local time.
    static std::string Entry(Direction direction, Outcome outcome, std::time_t when,
                             std::string_view file);

    // Appends one entry; its closing line feed becomes CR LF, as for every
    // line of the file, so that any editor shows one entry per line. A
    // missing file is created with the header first. The engines end the
    // transfer on their exception path when this fails: the message names
    // the file and the reason. Never opened, and so never waited for: a
    // FIFO, a device or a folder in the log's place, a link to anything but
    // a regular file and, for root, another user's link or a link to another
    // user's file.
    Status Append(std::string_view entry) const;

    // The whole log as text for the log view; creates it (header only) when
    // it does not exist yet. A log that Append would not write, or one over
    // 64 MB, gives an empty text.
    std::string ReadForView() const;

private:
    Status AppendLine(std::string_view entry) const;

    std::filesystem::path file_;
    std::shared_ptr<const Sharing> sharing_;
};

}  // namespace wexal
