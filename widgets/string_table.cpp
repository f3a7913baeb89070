#include "widgets/string_table.h"

#include <QFile>
#include <QHash>

#include <cstdio>
#include <limits>

namespace locket {

namespace {

QString Unescape(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const QChar next = text[i + 1];
        if (next == u'n')
            out += u'\n';
        else if (next == u'r')
            out += u'\r';
        else if (next == u't')
            out += u'\t';
        else if (next == u'\\')
            out += u'\\';
        else {
            out += text[i];
            continue;
        }
        ++i;
    }
    return out;
}

QHash<int, QString> ReadTable() {
    QHash<int, QString> table;
    QFile file(QStringLiteral(":/strings"));
    if (!file.open(QIODevice::ReadOnly)) {
        printf("[Strings] the string table is missing from the resources\n");
        return table;
    }
    const QString text = QString::fromUtf8(file.readAll());
    int lineNumber = 0;
    for (QStringView line : QStringView(text).split(u'\n')) {
        ++lineNumber;
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype tab = line.indexOf(u'\t');
        bool ok = false;
        const int id = tab > 0 ? line.left(tab).toInt(&ok) : 0;
        if (!ok) {
            printf("[Strings] line %d is not ID<TAB>text\n", lineNumber);
            continue;
        }
        if (table.contains(id)) {
            printf("[Strings] id %d appears again on line %d\n", id, lineNumber);
            continue;
        }
        table.insert(id, Unescape(line.mid(tab + 1)));
    }
    return table;
}

const QHash<int, QString>& Table() {
    static const QHash<int, QString> table = ReadTable();
    return table;
}

bool IsConversion(QChar c) {
    return QStringView(u"diuoxXceEfFgGs").contains(c);
}

// Toward zero, clamped: a double outside the range of long long has no defined conversion.
long long Truncate(double value) {
    if (!(value == value))
        return 0;
    if (value >= 9.2e18)
        return std::numeric_limits<long long>::max();
    if (value <= -9.2e18)
        return std::numeric_limits<long long>::min();
    return static_cast<long long>(value);
}

// Pads to the directive's width, as printf does for %s and %c.
QString Pad(QString text, int width, bool left) {
    if (text.size() >= width)
        return text;
    const QString fill(width - text.size(), u' ');
    return left ? text + fill : fill + text;
}

}  // namespace

QString LoadString(int id) {
    const auto& table = Table();
    const auto found = table.constFind(id);
    if (found == table.constEnd()) {
        printf("[Strings] no text %d\n", id);
        return {};
    }
    return *found;
}

int PairMemberId(int koreanId, int langId) {
    if (koreanId == string_id::kTitle || langId == kLangKorean)
        return koreanId;
    return koreanId + 1;
}

QString LoadPairString(int koreanId, int langId) {
    return LoadString(PairMemberId(koreanId, langId));
}

long long FormatArg::ToSigned() const {
    if (const auto* text = std::get_if<QString>(&m_value))
        return text->toLongLong();
    if (const auto* d = std::get_if<double>(&m_value))
        return Truncate(*d);
    if (const auto* u = std::get_if<unsigned long long>(&m_value))
        return static_cast<long long>(*u);
    return std::get<long long>(m_value);
}

unsigned long long FormatArg::ToUnsigned() const {
    if (const auto* text = std::get_if<QString>(&m_value))
        return text->toULongLong();
    if (const auto* d = std::get_if<double>(&m_value))
        return static_cast<unsigned long long>(Truncate(*d));
    if (const auto* s = std::get_if<long long>(&m_value))
        return static_cast<unsigned long long>(*s);
    return std::get<unsigned long long>(m_value);
}

double FormatArg::ToDouble() const {
    if (const auto* text = std::get_if<QString>(&m_value))
        return text->toDouble();
    if (const auto* s = std::get_if<long long>(&m_value))
        return static_cast<double>(*s);
    if (const auto* u = std::get_if<unsigned long long>(&m_value))
        return static_cast<double>(*u);
    return std::get<double>(m_value);
}

QString FormatArg::ToText() const {
    if (const auto* text = std::get_if<QString>(&m_value))
        return *text;
    if (const auto* s = std::get_if<long long>(&m_value))
        return QString::number(*s);
    if (const auto* u = std::get_if<unsigned long long>(&m_value))
        return QString::number(*u);
    return QString::number(std::get<double>(m_value));
}

QString FormatText(const QString& format, std::initializer_list<FormatArg> args) {
    QString out;
    const FormatArg* next = args.begin();
    qsizetype i = 0;
    while (i < format.size()) {
        if (format[i] != u'%') {
            out += format[i++];
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == u'%') {
            out += u'%';
            i += 2;
            continue;
        }
        // %[flags][width][.precision][length]conversion
        qsizetype end = i + 1;
        QString flags;
        while (end < format.size() && QStringView(u"-+ #0").contains(format[end]))
            flags += format[end++];
        int width = 0;
        while (end < format.size() && format[end].isDigit() && width < 10000)
            width = width * 10 + format[end++].digitValue();
        int precision = -1;
        if (end < format.size() && format[end] == u'.') {
            ++end;
            precision = 0;
            while (end < format.size() && format[end].isDigit() && precision < 10000)
                precision = precision * 10 + format[end++].digitValue();
        }
        while (end < format.size() && QStringView(u"hlLqjzt").contains(format[end]))
            ++end;
        if (end == format.size() || !IsConversion(format[end]) || next == args.end()) {
            // Not a directive this formatter knows, or nothing left to fill it: as it stands.
            const qsizetype stop = end < format.size() ? end + 1 : end;
            out += QStringView(format).mid(i, stop - i);
            i = stop;
            continue;
        }
        const char conversion = format[end].toLatin1();
        const FormatArg& arg = *next++;
        i = end + 1;
        const bool left = flags.contains(u'-');
        QByteArray spec = "%" + flags.toLatin1();
        if (width > 0)
            spec += QByteArray::number(width);
        if (precision >= 0)
            spec += "." + QByteArray::number(precision);
        switch (conversion) {
            case 's': {
                QString text = arg.ToText();
                if (precision >= 0)
                    text.truncate(precision);
                out += Pad(text, width, left);
                break;
            }
            case 'c':
                out += Pad(QString(QChar(static_cast<char16_t>(arg.ToUnsigned()))), width, left);
                break;
            case 'd':
            case 'i':
                out += QString::asprintf((spec + "lld").constData(), arg.ToSigned());
                break;
            case 'u':
            case 'o':
            case 'x':
            case 'X':
                out += QString::asprintf((spec + "ll" + conversion).constData(), arg.ToUnsigned());
                break;
            default:
                out += QString::asprintf((spec + conversion).constData(), arg.ToDouble());
                break;
        }
    }
    return out;
}

}  // namespace locket
