#pragma once

// What the tests of the real wexal-dnc share: a program folder with its
// Wexal.INI, machines on folders of their own, and the log's entries as
// patterns.

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <regex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/dnc_process.h"
#include "support/test_env.h"

namespace wexal::test {

// A machine that sends nothing but noise, and takes whatever comes back.
class NoisyMachine {
public:
    explicit NoisyMachine(int master) : master_(master) {
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        thread_ = std::thread([this] {
            std::mt19937 random(7);
            char chunk[256];
            while (!stop_) {
                for (char& c : chunk) c = static_cast<char>(random() & 0xFF);
                if (::write(master_, chunk, sizeof chunk) > 0) sent_ += sizeof chunk;
                while (::read(master_, chunk, sizeof chunk) > 0) {
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    ~NoisyMachine() {
        stop_ = true;
        thread_.join();
    }
    long sent() const { return sent_; }

private:
    int master_;
    std::atomic<bool> stop_{false};
    std::atomic<long> sent_{0};
    std::thread thread_;
};

class DncServerTest : public ::testing::Test {
protected:
    TempDir home_;
    TempDir work_;
    DncProcess dnc_{home_.path()};

    void SetUp() override {
        WriteFileBytes(home_ / "Wexal.INI",
                             "[Setting]\nSpeed=19200,8,N,1\nCode=N\nSignal=Y\nStartChar=N\n"
                             "EndChar=Y\nMask=*.NC\nR_Code=0\n[Options]\nAdd_No=N\n");
    }

    std::filesystem::path SendDir(const std::string& machine) { return Folder("send-" + machine); }
    std::filesystem::path ReceiveDir(const std::string& machine) { return Folder("recv-" + machine); }

    std::filesystem::path Folder(const std::string& name) {
        const std::filesystem::path folder = work_ / name;
        std::filesystem::create_directories(folder);
        return folder;
    }

    // [NAME] on COMn for every machine, its folders beside; ports in Ports.ini.
    void Configure(const std::vector<std::pair<std::string, std::string>>& machines,
                   const std::string& extra = "") {
        std::string ini, ports = "[Ports]\n";
        int n = 1;
        for (const auto& [name, device] : machines) {
            const std::string port = "COM" + std::to_string(n++);
            ini += "[" + name + "]\nPort=" + port + "\nSendDir=" + SendDir(name).string() +
                   "\nReceiveDir=" + ReceiveDir(name).string() + "\n" + extra;
            ports += port + "=" + device + "\n";
        }
        WriteFileBytes(home_ / "Machines.ini", ini);
        WriteFileBytes(home_ / "Ports.ini", ports);
    }

    std::string Report(const std::filesystem::path& file, const std::string& key) {
        const std::string text = ReadFileBytes(file);
        const std::size_t at = text.find("\n" + key + "=");
        if (at == std::string::npos) return "(none)";
        const std::size_t start = at + key.size() + 2;
        return text.substr(start, text.find('\n', start) - start);
    }
};

// "送信　　完了　yyyy/mm/dd hh:mm:ss　<file>　<machine>" as a pattern.
inline std::regex Entry(const std::string& head, const std::string& file, const std::string& machine) {
    std::string quoted;
    for (const char c : file) {
        if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) quoted += '\\';
        quoted += c;
    }
    return std::regex(head + "\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}　" + quoted + "　" +
                      machine + "\r\n");
}

// A program of about `bytes` bytes as a file holds it, and what ncsim decodes
// of it after F1 (the LF that stands for no start characters, the lines, the
// end character's LF and "%").
inline std::pair<std::string, std::string> BigProgram(const std::string& number, std::size_t bytes) {
    std::string file = "%\n" + number + "(BIG)\n";
    std::string decoded = "\n" + number + "(BIG)\n";
    for (int i = 1; file.size() < bytes; ++i) {
        const std::string line = "N" + std::to_string(i) + "G01X" + std::to_string(i % 1000) +
                                 ".Y-5.F300";
        file += line + "\n";
        decoded += line + "\n";
    }
    file += "M30\n%\n";
    decoded += "M30\n\n%";
    return {file, decoded};
}

// The text as an NC punches it in ISO code: seven bits and even parity.
inline std::string IsoTape(std::string_view text) {
    std::string tape;
    for (const char c : text) {
        const auto low = static_cast<unsigned char>(c) & 0x7F;
        tape += static_cast<char>(__builtin_parity(low) ? low | 0x80 : low);
    }
    return tape;
}

// Punches the text in ISO code on the NC's side of a terminal; true when all of it went.
inline bool PunchIso(int master, std::string_view text) {
    const std::string tape = IsoTape(text);
    return ::write(master, tape.data(), tape.size()) == static_cast<ssize_t>(tape.size());
}

// What the server sent to the NC's side of a terminal so far; the side is
// left non-blocking.
inline std::string TakeBack(int master) {
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    std::string back;
    char chunk[4096];
    for (ssize_t n; (n = ::read(master, chunk, sizeof chunk)) > 0;) {
        back.append(chunk, static_cast<std::size_t>(n));
    }
    return back;
}

}  // namespace wexal::test
