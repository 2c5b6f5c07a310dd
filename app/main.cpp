#include <iostream>

#include "app/command_line.h"

#ifndef _WIN32
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <streambuf>

namespace {

// Standard output for the report: the characters of a line gather here and
// each flush (every line ends with std::endl) hands them to the system with
// one write(2). std::cout would pass every piece of every line through C
// stdio, or through a file buffer's conversion layers, for the same bytes.
class StandardOutputBuffer final : public std::streambuf {
 public:
  StandardOutputBuffer() { setp(buffer_, buffer_ + sizeof buffer_); }
  ~StandardOutputBuffer() override { Drain(); }

 protected:
  int sync() override { return Drain() ? 0 : -1; }

  int_type overflow(int_type c) override {
    if (!Drain()) return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
  }

  std::streamsize xsputn(const char* s, std::streamsize n) override {
    if (n > epptr() - pptr()) return std::streambuf::xsputn(s, n);  // through overflow
    std::memcpy(pptr(), s, static_cast<std::size_t>(n));
    pbump(static_cast<int>(n));
    return n;
  }

 private:
  // Writes out what has gathered; false when the system refuses it.
  bool Drain() {
    const char* next = pbase();
    while (next < pptr()) {
      const ssize_t written = ::write(STDOUT_FILENO, next, static_cast<std::size_t>(pptr() - next));
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        setp(buffer_, buffer_ + sizeof buffer_);
        return false;
      }
      next += written;
    }
    setp(buffer_, buffer_ + sizeof buffer_);
    return true;
  }

  char buffer_[8192];
};

}  // namespace

int main(int argc, char* argv[]) {
  StandardOutputBuffer buffer;
  std::ostream out(&buffer);
  return app::RunCommandLine(argc, argv, out);
}

#else

int main(int argc, char* argv[]) {
  // Standard output is written only through std::cout, which then needs no
  // synchronisation with C stdio.
  std::ios::sync_with_stdio(false);
  return app::RunCommandLine(argc, argv, std::cout);
}

#endif
