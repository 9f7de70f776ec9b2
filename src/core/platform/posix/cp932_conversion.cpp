#include "platform/cp932_conversion.h"

#include <cerrno>

#include <iconv.h>

namespace wexal::cp932 {
namespace {

// An iconv_t holds conversion state and must not be used by two threads at
// once; one per thread and direction avoids both locking and the cost of
// iconv_open on every short settings value.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (Valid()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    int Convert(std::string_view& in, std::string& out) {
        if (!Valid()) return EILSEQ;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        // iconv's prototype is not const-correct; it never writes the input.
        char* inPtr = const_cast<char*>(in.data());
        std::size_t inLeft = in.size();
        int error = 0;
        char buffer[4096];
        while (inLeft > 0) {
            char* outPtr = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t result = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
            const int savedErrno = errno;
            out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
            if (result == static_cast<std::size_t>(-1) && savedErrno != E2BIG) {
                error = savedErrno == 0 ? EILSEQ : savedErrno;
                break;
            }
        }
        in.remove_prefix(in.size() - inLeft);
        return error;
    }

private:
    iconv_t cd_;
};

Converter& Decoder() {
    thread_local Converter converter("UTF-8", "CP932");
    return converter;
}

Converter& Encoder() {
    thread_local Converter converter("CP932", "UTF-8");
    return converter;
}

}  // namespace

bool Available() { return Decoder().Valid() && Encoder().Valid(); }

int Decode(std::string_view& in, std::string& out) { return Decoder().Convert(in, out); }

int Encode(std::string_view& in, std::string& out) { return Encoder().Convert(in, out); }

}  // namespace wexal::cp932
