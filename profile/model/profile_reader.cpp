#include "profile_reader.h"

#include "profile_log.h"

#include <QDomDocument>
#include <QDomElement>
#include <QDomNodeList>
#include <QFile>
#include <QXmlStreamReader>

#include <cmath>

namespace {

QString text_of(const QDomElement& element, const QString& name)
{
    return element.attribute(name);
}

// Texts that end up in rich-text labels or command strings are escaped once, when read.
QString escaped(const QDomElement& element, const QString& name)
{
    return element.attribute(name).toHtmlEscaped();
}

bool flag(const QDomElement& element, const QString& name)
{
    return element.attribute(name) == QLatin1String("true");
}

int integer(const QDomElement& element, const QString& name)
{
    return element.attribute(name).toInt();
}

float real(const QDomElement& element, const QString& name, float fallback)
{
    bool ok = false;
    const float value = element.attribute(name).toFloat(&ok);
    return ok && std::isfinite(value) ? value : fallback;
}

parameter_kind parameter_kind_of(const QString& type)
{
    if (type == QLatin1String("integer")) {
        return parameter_kind::integer;
    }
    if (type == QLatin1String("string")) {
        return parameter_kind::string;
    }
    if (type == QLatin1String("option")) {
        return parameter_kind::option;
    }
    if (type == QLatin1String("splitter")) {
        return parameter_kind::splitter;
    }
    return parameter_kind::other;
}

display_kind display_kind_of(const QString& display_as)
{
    if (display_as == QLatin1String("binary")) {
        return display_kind::binary;
    }
    if (display_as == QLatin1String("hex")) {
        return display_kind::hex;
    }
    if (display_as == QLatin1String("coord")) {
        return display_kind::coord;
    }
    if (display_as == QLatin1String("select")) {
        return display_kind::select;
    }
    if (display_as == QLatin1String("splitter")) {
        return display_kind::splitter;
    }
    return display_kind::number;
}

// Descendants of any depth, in document order.
QList<QDomElement> elements_below(const QDomNode& node, const QString& tag)
{
    const QDomNodeList found = node.isDocument() ? node.toDocument().elementsByTagName(tag)
                                                 : node.toElement().elementsByTagName(tag);
    QList<QDomElement> elements;
    elements.reserve(found.size());
    for (int i = 0; i < found.size(); ++i) {
        elements.append(found.item(i).toElement());
    }
    return elements;
}

QList<profile_option> options_of(const QDomElement& parameter)
{
    QList<profile_option> options;
    for (const QDomElement& option : elements_below(parameter, QStringLiteral("option"))) {
        options.append(
            {text_of(option, QStringLiteral("value")), text_of(option, QStringLiteral("text"))});
    }
    return options;
}

profile_parameter parameter_of(const QDomElement& element)
{
    profile_parameter parameter;
    parameter.type = text_of(element, QStringLiteral("type"));
    parameter.kind = parameter_kind_of(parameter.type);
    parameter.description = text_of(element, QStringLiteral("description"));
    parameter.readonly = flag(element, QStringLiteral("readonly"));
    parameter.minvalue = integer(element, QStringLiteral("minvalue"));
    parameter.maxvalue = integer(element, QStringLiteral("maxvalue"));
    parameter.defaultvalue = text_of(element, QStringLiteral("defaultvalue"));
    parameter.has_maxlen = !element.attribute(QStringLiteral("maxlen")).isEmpty();
    parameter.maxlen = integer(element, QStringLiteral("maxlen"));
    parameter.read = text_of(element, QStringLiteral("read"));
    parameter.write = text_of(element, QStringLiteral("write"));
    parameter.master = flag(element, QStringLiteral("master"));
    parameter.options = options_of(element);
    return parameter;
}

QList<profile_parameter> parameters_below(const QDomElement& element)
{
    QList<profile_parameter> parameters;
    for (const QDomElement& parameter : elements_below(element, QStringLiteral("parameter"))) {
        parameters.append(parameter_of(parameter));
    }
    return parameters;
}

profile_command command_of(const QDomElement& element)
{
    profile_command command;
    command.command = escaped(element, QStringLiteral("command"));
    command.description = escaped(element, QStringLiteral("description"));
    command.master = flag(element, QStringLiteral("master"));
    command.polldata = flag(element, QStringLiteral("polldata"));
    command.parameters = parameters_below(element);
    return command;
}

profile_page page_of(const QDomElement& element, bool simple_mode)
{
    profile_page page;
    page.id = escaped(element, QStringLiteral("id"));
    page.name = escaped(element, QStringLiteral("name"));
    if (simple_mode) {
        page.parameters = parameters_below(element);
        return page;
    }
    for (const QDomElement& command : elements_below(element, QStringLiteral("command"))) {
        page.commands.append(command_of(command));
    }
    return page;
}

profile_display display_of(const QDomElement& element)
{
    profile_display display;
    display.field = escaped(element, QStringLiteral("field"));
    display.comment = text_of(element, QStringLiteral("comment"));
    display.unit = escaped(element, QStringLiteral("unit"));
    display.display_as = escaped(element, QStringLiteral("display_as"));
    display.kind = display_kind_of(display.display_as);
    display.multiplier = real(element, QStringLiteral("multiplier"), 1.0f);
    display.valid_range_min = real(element, QStringLiteral("valid_range_min"), 0.0f);
    display.valid_range_max = real(element, QStringLiteral("valid_range_max"), 0.0f);
    for (const QDomElement& option : elements_below(element, QStringLiteral("option"))) {
        display.options.append(
            {escaped(option, QStringLiteral("id")), escaped(option, QStringLiteral("text"))});
    }
    return display;
}

QString parse_error(const QString& message, qint64 line)
{
    return message + QStringLiteral(" Line: ") + QString::number(line);
}

// The DOM parser recurses once per level of nesting and holds the whole file: a document nested
// tens of thousands of levels deep overflows its stack. The stream reader keeps its levels on
// the heap, so it measures the nesting first. Where it stops early on an error, the levels past
// that point are bounded by the tags that follow.
bool fits_the_parser(const QByteArray& data, QString& error)
{
    if (data.size() > max_profile_size) {
        error = parse_error(QStringLiteral("Profile larger than %1 bytes").arg(max_profile_size),
                            data.left(max_profile_size).count('\n') + 1);
        return false;
    }
    QXmlStreamReader reader(data);
    reader.setNamespaceProcessing(false);
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::EndElement) {
            --depth;
        } else if (token == QXmlStreamReader::StartElement && ++depth > max_profile_depth) {
            error = parse_error(
                QStringLiteral("Elements nested deeper than %1 levels").arg(max_profile_depth),
                reader.lineNumber());
            return false;
        }
    }
    if (!reader.hasError() ||
        depth + data.mid(int(reader.characterOffset())).count('<') <= max_profile_depth) {
        return true;
    }
    error = parse_error(reader.errorString(), reader.lineNumber());
    return false;
}

bool read_document(const QString& path, QDomDocument& document, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Error opening XML file %1").arg(path);
        return false;
    }
    // One byte past the limit tells a file that is too large.
    return parse_profile(file.read(max_profile_size + 1), document, error);
}

} // namespace

bool parse_profile(const QByteArray& data, QDomDocument& document, QString& error)
{
    if (!fits_the_parser(data, error)) {
        return false;
    }
    QString message;
    int line = 0;
    if (!document.setContent(data, true, &message, &line)) {
        error = parse_error(message, line);
        return false;
    }
    return true;
}

QList<profile_page> mode_pages(const QDomDocument& document, bool simple_mode)
{
    const QString section =
        simple_mode ? QStringLiteral("simple_mode") : QStringLiteral("expert_mode");
    const QDomElement root = document.elementsByTagName(section).item(0).toElement();
    QList<profile_page> pages;
    if (root.isNull()) {
        return pages;
    }
    for (const QDomElement& page : elements_below(root, QStringLiteral("page"))) {
        pages.append(page_of(page, simple_mode));
    }
    return pages;
}

QList<profile_rawdata> rawdata_layouts(const QDomDocument& document)
{
    QList<profile_rawdata> rawdata;
    for (const QDomElement& element : elements_below(document, QStringLiteral("rawdata"))) {
        rawdata.append(
            {integer(element, QStringLiteral("id")), escaped(element, QStringLiteral("schema"))});
    }
    return rawdata;
}

QList<profile_column> state_columns_of(const QDomDocument& document)
{
    QList<profile_column> columns;
    if (document.elementsByTagName(QStringLiteral("rawdata")).isEmpty()) {
        return columns;
    }
    const QList<QDomElement> row_elements = elements_below(document, QStringLiteral("row"));
    if (row_elements.size() > device_state_columns) {
        qCWarning(profile_log) << "Profile has" << row_elements.size() << "rows; only the first"
                               << device_state_columns << "are shown";
    }
    for (const QDomElement& row : row_elements.mid(0, device_state_columns)) {
        profile_column column;
        for (const QDomElement& display : elements_below(row, QStringLiteral("display"))) {
            column.displays.append(display_of(display));
        }
        columns.append(column);
    }
    return columns;
}

bool read_mode_pages(const QString& path, bool simple_mode, QList<profile_page>& pages,
                     QString& error)
{
    QDomDocument document;
    if (!read_document(path, document, error)) {
        return false;
    }
    pages = mode_pages(document, simple_mode);
    return true;
}

bool read_device_state(const QString& path, QList<profile_rawdata>& rawdata,
                       QList<profile_column>& columns, QString& error)
{
    QDomDocument document;
    if (!read_document(path, document, error)) {
        return false;
    }
    rawdata = rawdata_layouts(document);
    columns = state_columns_of(document);
    return true;
}
