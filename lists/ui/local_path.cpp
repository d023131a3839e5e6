#include "lists/ui/local_path.h"

#include "core/ini_document.h"

namespace nocturo {

namespace {

constexpr char16_t kFirstKept = 0xDC80;
constexpr char16_t kLastKept = 0xDCFF;

bool IsKeptByte(QChar c) {
    return c.unicode() >= kFirstKept && c.unicode() <= kLastKept;
}

}  // namespace

QString PathFromBytes(std::string_view bytes) {
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t run = i;
        // The longest valid stretch goes through Qt's decoder at once.
        while (run < bytes.size()) {
            const std::size_t n = Utf8SequenceLength(bytes, run);
            if (n == 0) {
                break;
            }
            run += n;
        }
        out += QString::fromUtf8(bytes.data() + i, static_cast<qsizetype>(run - i));
        if (run < bytes.size()) {
            out += QChar(static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(bytes[run])));
            ++run;
        }
        i = run;
    }
    return out;
}

std::string PathToBytes(const QString& path) {
    std::string out;
    out.reserve(static_cast<std::size_t>(path.size()));
    qsizetype start = 0;
    for (qsizetype i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !IsKeptByte(path[i])) {
            continue;
        }
        // A lone low surrogate is never part of a pair: the text before it
        // converts on its own.
        out += path.mid(start, i - start).toStdString();
        if (i < path.size()) {
            out += static_cast<char>(path[i].unicode() - 0xDC00);
        }
        start = i + 1;
    }
    return out;
}

QString ShownPath(QString path) {
    for (QChar& c : path) {
        if (IsKeptByte(c)) {
            c = QChar::ReplacementCharacter;
        }
    }
    return path;
}

}  // namespace nocturo
