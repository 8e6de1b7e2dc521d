#include "bench/LogGenerator.h"

#include <array>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

namespace qk {
namespace {

// splitmix64: small, fast, and the same on every platform.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    std::uint64_t Below(std::uint64_t bound) { return Next() % bound; }
    template <typename T, std::size_t n> const T& Pick(const std::array<T, n>& items) {
        return items[Below(n)];
    }

  private:
    std::uint64_t state_;
};

constexpr std::array<std::string_view, 4> kDrives = {"D:\\", "E:\\", "\\\\fileserver\\cad\\",
                                                     "K:\\"};
constexpr std::array<std::string_view, 6> kRoots = {
    "Konstruktion", "Projekte", "Archiv", "Normteile", "Entwicklung", "Sondermaschinen"};
constexpr std::array<std::string_view, 20> kFolders = {
    "Gehäuse",      "Getriebe",    "Förderband",       "Prüfstand",   "Rahmen",
    "Schweißteile", "Zukaufteile", "Übergabe",         "Kühlung",     "Steuerung",
    "Antriebe",     "Blechteile",  "Hubwerk",          "Greifer",     "Schaltschrank",
    "Lüftung",      "Drehtisch",   "Spannvorrichtung", "Verkleidung", "Maßbilder"};
constexpr std::array<std::string_view, 24> kWords = {
    "Halter", "Welle",   "Flansch",   "Deckel",     "Lagerbock",   "Zahnrad",
    "Bügel",  "Stößel",  "Führung",   "Platte",     "Winkel",      "Konsole",
    "Buchse", "Scheibe", "Träger",    "Hülse",      "Stütze",      "Abdeckung",
    "Lasche", "Gelenk",  "Riemenrad", "Spannbügel", "Grundplatte", "Baugruppe"};
constexpr std::array<std::string_view, 4> kExtensions = {".par", ".psm", ".dft", ".asm"};
constexpr std::array<std::string_view, 12> kNamedUsers = {
    "m.müller", "j.schäfer", "a.weiß",   "k.böhm",  "s.krüger", "t.groß",
    "l.köhler", "p.wagner",  "h.schulz", "d.lange", "r.jäger",  "e.vogel"};

void AppendNumber(std::string& out, std::uint64_t value, int width = 0) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = n; i < width; ++i)
        out.push_back('0');
    while (n > 0)
        out.push_back(digits[--n]);
}

void AppendGrouped(std::string& out, std::uint64_t value) {
    std::string plain;
    AppendNumber(plain, value);
    for (std::size_t i = 0; i < plain.size(); ++i) {
        if (i > 0 && (plain.size() - i) % 3 == 0) out.push_back('.');
        out.push_back(plain[i]);
    }
}

void AppendFolder(std::string& out, std::uint64_t folder) {
    Random random(folder * 7919 + 17);
    out += random.Pick(kDrives);
    out += random.Pick(kRoots);
    out.push_back('\\');
    if (random.Below(3) == 0) {
        out += "P-";
        AppendNumber(out, 2015 + random.Below(10));
        out.push_back('-');
        AppendNumber(out, random.Below(1000), 4);
        out.push_back('\\');
    }
    out += random.Pick(kFolders);
    out.push_back('\\');
    if (random.Below(2) == 0) {
        out += random.Pick(kFolders);
        out.push_back('\\');
    }
}

void AppendName(std::string& out, std::uint64_t name) {
    Random random(name * 104729 + 3);
    out += random.Pick(kWords);
    out.push_back(random.Below(2) == 0 ? '_' : '-');
    AppendNumber(out, random.Below(100000), 5);
    out += random.Pick(kExtensions);
}

void AppendSize(std::string& out, Random& random) {
    switch (random.Below(3)) {
    case 0:
        AppendGrouped(out, 2000 + random.Below(50'000'000));
        break;
    case 1:
        AppendGrouped(out, 20 + random.Below(90'000));
        if (random.Below(2) == 0) {
            out.push_back(',');
            AppendNumber(out, random.Below(10));
        }
        out += "KB";
        break;
    default:
        AppendNumber(out, 1 + random.Below(400));
        out.push_back(',');
        AppendNumber(out, random.Below(10));
        out += "MB";
        break;
    }
}

constexpr std::array<std::string_view, 6> kCategories = {
    "Bauteile", "Baugruppen", "Normteile", "Zeichnungen", "Werkzeuge", "Vorrichtungen"};

// An item's folder in a vault, of which nearly every record has its own:
// \\vault01\cad\Bauteile\013\I0004711\Rev_C\.
void AppendItemFolder(std::string& out, std::uint64_t item, Random& random) {
    out += "\\\\vault0";
    AppendNumber(out, 1 + item % 4);
    out += "\\cad\\";
    out += random.Pick(kCategories);
    out.push_back('\\');
    AppendNumber(out, item / 1000 % 1000, 3);
    out += "\\I";
    AppendNumber(out, item, 7);
    out += "\\Rev_";
    out.push_back(static_cast<char>('A' + random.Below(6)));
    out.push_back('\\');
}

// The size, date, time and user of a line, and its end.
void AppendRest(std::string& out, Random& random, std::uint64_t& totalBytes) {
    out.append(1 + (random.Below(4) == 0 ? random.Below(6) : 0), ' ');
    const std::size_t sizeStart = out.size();
    AppendSize(out, random);
    totalBytes += out.size() - sizeStart;
    out.append(random.Below(5) == 0 ? 2 : 1, ' ');
    AppendNumber(out, 1 + random.Below(28), 2);
    out.push_back('.');
    AppendNumber(out, 1 + random.Below(12), 2);
    out.push_back('.');
    AppendNumber(out, 2008 + random.Below(19));
    out.push_back(' ');
    AppendNumber(out, random.Below(24), 2);
    out.push_back(':');
    AppendNumber(out, random.Below(60), 2);
    out.push_back(' ');
    if (random.Below(4) == 0) {
        out += kNamedUsers[random.Below(kNamedUsers.size())];
    } else {
        out += "cad";
        AppendNumber(out, 1 + random.Below(30), 2);
    }
    out += "\r\n";
}

void AppendTotal(std::string& out, std::uint64_t lines, std::uint64_t totalBytes) {
    out += "Summe: ";
    AppendNumber(out, lines);
    out += " Dateien, Größe der Größenangaben ";
    AppendNumber(out, totalBytes);
    out += " Zeichen\r\n";
}

// The records of a vault: each name logged in two or three item folders
// one after another, nearly every record in an item folder of its own.
void GenerateVaultLog(std::uint64_t lines, std::uint64_t seed, std::string& out) {
    Random random(seed);
    out += "Doppelte Dateien im Dokumentenarchiv - Stand 08.12.2026 16:40\r\n";
    std::uint64_t totalBytes = 0, item = 4711, name = 0, copies = 0;
    for (std::uint64_t line = 0; line < lines; ++line) {
        if (copies == 0) {
            copies = 2 + random.Below(2);
            ++name;
        }
        --copies;
        item += 1 + random.Below(3);
        // One record in fifty shares the folder of the record before it.
        if (random.Below(50) == 0) item -= 1 + random.Below(2);
        AppendItemFolder(out, item, random);
        AppendName(out, name);
        AppendRest(out, random, totalBytes);
    }
    AppendTotal(out, lines, totalBytes);
}

} // namespace

void GenerateLog(std::uint64_t lines, std::uint64_t seed, std::string& out, LogShape shape) {
    if (shape == LogShape::Vault) return GenerateVaultLog(lines, seed, out);
    Random random(seed);
    const std::uint64_t folders = 50 + lines / 200;
    out += "Doppelte Dateien im Konstruktionsarchiv - Stand 08.12.2026 16:40\r\n";
    std::uint64_t nextName = 0;
    std::uint64_t totalBytes = 0;
    for (std::uint64_t line = 0; line < lines; ++line) {
        // About a third of the lines log a file name that came before.
        const std::uint64_t name =
            nextName > 0 && random.Below(3) == 0 ? random.Below(nextName) : nextName++;
        AppendFolder(out, random.Below(folders));
        AppendName(out, name);
        AppendRest(out, random, totalBytes);
    }
    AppendTotal(out, lines, totalBytes);
}

bool WriteLogFile(const std::string& path, std::uint64_t lines, std::uint64_t seed,
                  LogShape shape) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"),
                                                         std::fclose);
    if (!file) return false;
    std::string text;
    GenerateLog(lines, seed, text, shape);
    return std::fwrite(text.data(), 1, text.size(), file.get()) == text.size() &&
           std::fflush(file.get()) == 0;
}

} // namespace qk
