#include "XlsxSheet.h"

#include <QXmlStreamReader>

#include <zip.h>

#include <memory>

namespace {

constexpr qint64 MegaByte = 1024LL * 1024;

QString damagedText(const QString &detail)
{
    return QStringLiteral("工作簿已损坏或不是 Excel 工作簿（.xlsx），无法读取（%1）。").arg(detail);
}

[[noreturn]] void damaged(const QString &detail)
{
    throw EBillError(EBillError::Unreadable, damagedText(detail));
}

[[noreturn]] void tooLarge()
{
    throw EBillError(EBillError::TooLarge,
                     QStringLiteral("工作簿解压后超过 %L1 MB，不像一份账单，没有读取。")
                         .arg(XlsxSheet::MaxPartBytes / MegaByte));
}

struct ZipCloser {
    void operator()(zip_t *archive) const { zip_discard(archive); }
};
struct ZipFileCloser {
    void operator()(zip_file_t *file) const { zip_fclose(file); }
};
using ZipPtr = std::unique_ptr<zip_t, ZipCloser>;
using ZipFilePtr = std::unique_ptr<zip_file_t, ZipFileCloser>;

ZipPtr openZip(const QByteArray &bytes)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source =
        zip_source_buffer_create(bytes.constData(), zip_uint64_t(bytes.size()), 0, &error);
    if (!source) {
        zip_error_fini(&error);
        damaged(QStringLiteral("内存不足"));
    }
    zip_t *archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!archive) {
        zip_source_free(source);
        const QString detail = QString::fromUtf8(zip_error_strerror(&error));
        zip_error_fini(&error);
        damaged(detail);
    }
    zip_error_fini(&error);
    return ZipPtr(archive);
}

// The whole part, or a null array when the workbook has no such part. Reads
// at most MaxPartBytes, whatever the directory says the size is.
QByteArray readPart(zip_t *archive, const QString &name)
{
    const QByteArray utf8 = name.toUtf8();
    const zip_int64_t index = zip_name_locate(archive, utf8.constData(), ZIP_FL_NOCASE);
    if (index < 0)
        return QByteArray();
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, zip_uint64_t(index), 0, &stat) == 0 &&
        (stat.valid & ZIP_STAT_SIZE) && stat.size > zip_uint64_t(XlsxSheet::MaxPartBytes))
        tooLarge();
    ZipFilePtr file(zip_fopen_index(archive, zip_uint64_t(index), 0));
    if (!file)
        damaged(QString::fromUtf8(zip_strerror(archive)));
    QByteArray content;
    content.reserve(qsizetype(qMin<zip_uint64_t>(stat.size, 16 * MegaByte)));
    char buffer[64 * 1024];
    for (;;) {
        const zip_int64_t got = zip_fread(file.get(), buffer, sizeof buffer);
        if (got < 0)
            damaged(QString::fromUtf8(zip_file_strerror(file.get())));
        if (got == 0)
            break;
        if (content.size() + got > XlsxSheet::MaxPartBytes)
            tooLarge();
        content.append(buffer, qsizetype(got));
    }
    if (content.isNull())
        content = QByteArray("");
    return content;
}

void checkXml(const QXmlStreamReader &xml, const QString &part)
{
    if (xml.hasError())
        damaged(QStringLiteral("%1：%2").arg(part, xml.errorString()));
}

// Relationship attributes carry the transitional or the strict namespace.
QString relationshipId(const QXmlStreamAttributes &attributes)
{
    for (const QXmlStreamAttribute &a : attributes) {
        if (a.name() == u"id" && !a.namespaceUri().isEmpty())
            return a.value().toString();
    }
    return QString();
}

// The first sheet's part as the workbook's relationships name it.
QString firstSheetPart(zip_t *archive)
{
    QString fallback = QStringLiteral("xl/worksheets/sheet1.xml");
    const QByteArray workbook = readPart(archive, QStringLiteral("xl/workbook.xml"));
    if (workbook.isNull())
        return fallback;
    QString id;
    QXmlStreamReader xml(workbook);
    while (id.isEmpty() && !xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"sheet")
            id = relationshipId(xml.attributes());
    }
    checkXml(xml, QStringLiteral("xl/workbook.xml"));
    if (id.isEmpty())
        return fallback;
    const QByteArray rels = readPart(archive, QStringLiteral("xl/_rels/workbook.xml.rels"));
    if (rels.isNull())
        return fallback;
    QXmlStreamReader relXml(rels);
    while (!relXml.atEnd()) {
        if (relXml.readNext() == QXmlStreamReader::StartElement &&
            relXml.name() == u"Relationship" &&
            relXml.attributes().value(QLatin1String("Id")) == id) {
            QString target = relXml.attributes().value(QLatin1String("Target")).toString();
            if (target.startsWith(u'/'))
                return target.mid(1);
            return QStringLiteral("xl/") + target;
        }
    }
    checkXml(relXml, QStringLiteral("xl/_rels/workbook.xml.rels"));
    return fallback;
}

// The text of the element the reader stands on, from its <t> children,
// leaving out phonetic runs (<rPh>), which are readings, not text.
QString runText(QXmlStreamReader &xml)
{
    QString text;
    int depth = 1;
    int phonetic = 0;
    while (depth > 0 && !xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            if (xml.name() == u"t" && phonetic == 0) {
                // Reads up to and including its end element.
                text += xml.readElementText(QXmlStreamReader::IncludeChildElements);
                break;
            }
            ++depth;
            if (xml.name() == u"rPh")
                phonetic = depth;
            break;
        case QXmlStreamReader::EndElement:
            if (depth == phonetic)
                phonetic = 0;
            --depth;
            break;
        default:
            break;
        }
    }
    return text;
}

QStringList sharedStrings(zip_t *archive)
{
    QStringList strings;
    const QByteArray part = readPart(archive, QStringLiteral("xl/sharedStrings.xml"));
    if (part.isNull())
        return strings;
    QXmlStreamReader xml(part);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"si") {
            if (strings.size() >= BillCsv::MaxCells)
                tooLarge();
            strings.append(runText(xml));
        }
    }
    checkXml(xml, QStringLiteral("xl/sharedStrings.xml"));
    return strings;
}

// "BC12" gives column 54 (0-based); -1 for no letters or beyond the last
// column a spreadsheet has (XFD).
int columnOf(QStringView reference)
{
    int column = 0;
    qsizetype i = 0;
    for (; i < reference.size(); ++i) {
        const QChar c = reference[i];
        if (c < u'A' || c > u'Z')
            break;
        column = column * 26 + (c.unicode() - u'A' + 1);
        if (column > 16384)
            return -1;
    }
    return i == 0 ? -1 : column - 1;
}

} // namespace

bool XlsxSheet::LooksLikeZip(const QByteArray &bytes)
{
    return bytes.startsWith("PK\x03\x04") || bytes.startsWith("PK\x05\x06");
}

TBillTable XlsxSheet::ReadFirstSheet(const QByteArray &bytes)
{
    ZipPtr archive = openZip(bytes);
    const QStringList shared = sharedStrings(archive.get());
    const QString sheetName = firstSheetPart(archive.get());
    const QByteArray sheet = readPart(archive.get(), sheetName);
    if (sheet.isNull())
        damaged(QStringLiteral("没有找到工作表"));

    TBillTable table;
    table.encoding = BillEncoding::Xlsx;
    qint64 cells = 0;
    int rowNumber = 0;
    QXmlStreamReader xml(sheet);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != u"row")
            continue;
        bool ok = false;
        const int r = xml.attributes().value(QLatin1String("r")).toInt(&ok);
        rowNumber = ok && r > rowNumber && r <= 1048576 ? r : rowNumber + 1;
        QStringList row;
        int column = -1;
        while (xml.readNextStartElement()) {
            if (xml.name() != u"c") {
                xml.skipCurrentElement();
                continue;
            }
            const QXmlStreamAttributes attributes = xml.attributes();
            const QStringView reference = attributes.value(QLatin1String("r"));
            const int named = columnOf(reference);
            if (named < 0 && !reference.isEmpty())
                damaged(QStringLiteral("第 %1 行有无效的单元格位置“%2”")
                            .arg(rowNumber)
                            .arg(reference.left(20)));
            column = named >= 0 ? named : column + 1;
            if (column >= 16384)
                damaged(QStringLiteral("第 %1 行的列超出了表格的范围").arg(rowNumber));
            const QStringView type = attributes.value(QLatin1String("t"));
            QString value;
            QString inlineText;
            while (xml.readNextStartElement()) {
                if (xml.name() == u"v")
                    value = xml.readElementText(QXmlStreamReader::IncludeChildElements);
                else if (xml.name() == u"is")
                    inlineText = runText(xml);
                else
                    xml.skipCurrentElement();
            }
            QString text;
            if (type == u"s") {
                const int index = value.trimmed().toInt(&ok);
                if (!ok || index < 0 || index >= shared.size())
                    damaged(QStringLiteral("第 %1 行引用了不存在的文字").arg(rowNumber));
                text = shared.at(index);
            } else if (type == u"inlineStr") {
                text = inlineText;
            } else {
                text = value;
            }
            if (text.isEmpty())
                continue;
            if (row.size() <= column) {
                cells += column + 1 - row.size();
                if (cells > BillCsv::MaxCells)
                    throw EBillError(EBillError::TooLarge,
                                     QStringLiteral("工作表的行列太多（超过 %L1 个单元格），"
                                                    "不像一份账单。")
                                         .arg(BillCsv::MaxCells));
                while (row.size() <= column)
                    row.append(QString());
            }
            row[column] = text;
        }
        if (!row.isEmpty()) {
            table.rows.append(row);
            table.lineNumbers.append(rowNumber);
        }
    }
    checkXml(xml, sheetName);
    return table;
}
