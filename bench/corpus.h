// The benchmark's texts, made the same way on every run: fixed seeds, and
// the headers taken in path order.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace corpus {

inline const char *const kinds[] = {"code", "random", "digits", "sparse",
                                    "longtoken"};

// The C and C++ headers of the system, sorted by path and joined.
inline std::string headers() {
  namespace fs = std::filesystem;
  std::vector<std::string> paths;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(
           "/usr/include", fs::directory_options::skip_permission_denied, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (ec)
      break;
    if (!it->is_regular_file(ec) || it->is_symlink(ec))
      continue;
    std::string p = it->path().string(), ext = it->path().extension();
    // The C++ library's headers have no extension.
    if (ext == ".h" || ext == ".hpp" || ext == ".hh" || ext == ".tcc" ||
        (ext.empty() && p.find("/c++/") != std::string::npos))
      paths.push_back(p);
  }
  std::sort(paths.begin(), paths.end());
  std::string all;
  for (const std::string &p : paths) {
    std::ifstream f(p, std::ios::binary);
    all.append(std::istreambuf_iterator<char>(f), {});
  }
  return all;
}

// Calls emit(chunk) until size bytes have been made.
template <class F> void make(const std::string &kind, size_t size, F emit) {
  std::mt19937_64 rng(20240601);
  std::string buf;
  auto pick = [&](const char *set, size_t n) { return set[rng() % n]; };
  auto drain = [&](bool all) {
    while (size > 0 && (all || buf.size() >= (1 << 20))) {
      size_t n = std::min(size, buf.size());
      if (n == 0)
        return;
      emit(buf.data(), n);
      size -= n;
      buf.erase(0, n);
    }
  };
  if (kind == "edges") {
    // Not timed, only checked: the grammar's edge cases in random order,
    // with runs longer than any peer's chunk, and at every 256 KiB read
    // boundary a '0' as the block's last byte, its class waiting on the
    // next block.  The text ends in a '0' too.
    static const char *const bits[] = {
        "0",  "00", "07",   "08",   "09",   "079",  "0x1F", "0a",
        "a0", "Z",  "z",    "A",    "@",    "[",    "`",    "{",
        "_",  "/",  ":",    " ",    "\n",   "\t",   "123",  "1a",
        "a1", "9",  "\xff", "\x80", "\xe9", "\x7f", "\x01"};
    // runs of one byte: letters, digits, octal digits, '9's, separators
    static const char runs[] = "aZ0719 .";
    const size_t nbits = std::size(bits), nruns = sizeof runs - 1;
    std::string text;
    while (text.size() < size) {
      size_t r = rng() % (nbits + nruns + 1);
      if (r < nbits)
        text += bits[r];
      else if (r < nbits + nruns)
        text.append(1 + rng() % 300, runs[r - nbits]);
      else
        text.push_back('\0');
    }
    text.resize(size);
    static const char after[] = "7 9a0";
    for (size_t b = 1, i = 0; b * (256 << 10) < size; b++, i++) {
      size_t at = b * (256 << 10) - 1;
      text[at - 1] = ' ';
      text[at] = '0';
      text[at + 1] = after[i % (sizeof after - 1)];
    }
    if (size >= 2)
      text.replace(size - 2, 2, " 0");
    emit(text.data(), text.size());
    return;
  }
  if (kind == "code") {
    std::string text = headers();
    if (text.empty())
      text = "int main(void) { return 0; }\n";
    while (size > 0) {
      size_t n = std::min(size, text.size());
      emit(text.data(), n);
      size -= n;
    }
    return;
  }
  static const char seps[] = " ,;\n\t(){}+-*/=<>.";
  static const char white[] = "    \t\n\n,;(){}[]*&=+-./:_\"'#";
  static const char alnum[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  while (size > 0) {
    if (kind == "random") {
      for (int i = 0; i < 4096; i++)
        buf.push_back(static_cast<char>(rng()));
    } else if (kind == "digits") {
      // decimal, octal and lone zeros, in about equal shares
      switch (rng() % 3) {
      case 0:
        buf.push_back(pick("123456789", 9));
        for (size_t n = rng() % 12; n > 0; n--)
          buf.push_back(pick("0123456789", 10));
        break;
      case 1:
        buf.push_back('0');
        for (size_t n = 1 + rng() % 11; n > 0; n--)
          buf.push_back(pick("01234567", 8));
        break;
      default:
        buf.push_back('0');
      }
      buf.push_back(pick(seps, sizeof seps - 1));
      if (rng() % 4 == 0)
        buf.push_back(' ');
    } else if (kind == "sparse") {
      for (int i = 0; i < 4096; i++) {
        if (rng() % 256 == 0) {
          buf.push_back(pick(alnum, 52));
          for (size_t n = rng() % 8; n > 0; n--)
            buf.push_back(pick(alnum, sizeof alnum - 1));
          buf.push_back(' ');
        } else {
          buf.push_back(pick(white, sizeof white - 1));
        }
      }
    } else if (kind == "longtoken") {
      // one identifier, ended by a newline
      buf.push_back('x');
      while (size > 0) {
        while (buf.size() < (1 << 20))
          buf.append(alnum, sizeof alnum - 1);
        if (size <= buf.size()) {
          buf.resize(size);
          buf.back() = '\n';
        }
        drain(true);
      }
    }
    drain(false);
  }
}

} // namespace corpus
