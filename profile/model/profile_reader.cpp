#include "profile_reader.h"

#include "position_entry.h"
#include "profile_log.h"

#include <QDomDocument>
#include <QDomElement>
#include <QDomNodeList>
#include <QFile>
#include <QXmlStreamReader>

#include <cmath>
#include <cstring>

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
    parameter.identity = flag(element, QStringLiteral("identity"));
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

display_role display_role_of(const QString& role)
{
    if (role == QLatin1String("lat")) {
        return display_role::latitude;
    }
    if (role == QLatin1String("lon")) {
        return display_role::longitude;
    }
    if (role == QLatin1String("course")) {
        return display_role::course;
    }
    return display_role::none;
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
    display.role = display_role_of(element.attribute(QStringLiteral("role")));
    for (const QDomElement& option : elements_below(element, QStringLiteral("option"))) {
        display.options.append(
            {escaped(option, QStringLiteral("id")), escaped(option, QStringLiteral("text"))});
    }
    return display;
}

bool marks_coordinates(const QList<profile_column>& columns)
{
    for (const profile_column& column : columns) {
        for (const profile_display& display : column.displays) {
            if (display.role == display_role::latitude || display.role == display_role::longitude) {
                return true;
            }
        }
    }
    return false;
}

// Profiles written before the attribute list latitude, then longitude.
void assign_coordinate_roles(QList<profile_column>& columns)
{
    if (marks_coordinates(columns)) {
        return;
    }
    display_role next = display_role::latitude;
    for (profile_column& column : columns) {
        for (profile_display& display : column.displays) {
            if (display.kind == display_kind::coord && next != display_role::none) {
                display.role = next;
                next =
                    next == display_role::latitude ? display_role::longitude : display_role::none;
            }
        }
    }
}

QString parse_error(const QString& message, qint64 line)
{
    return message + QStringLiteral(" Line: ") + QString::number(line);
}

bool starts_at(const QByteArray& data, int i, const char* what)
{
    return std::strncmp(data.constData() + i, what, std::strlen(what)) == 0;
}

// Index of the first character past the markup that starts at i and ends with close, or -1.
int past(const QByteArray& data, int i, const char* close)
{
    const int found = int(data.indexOf(close, i));
    return found < 0 ? -1 : found + int(std::strlen(close));
}

// Index of the ">" that ends the start tag at i, or of a "<" within it, or the end of data. A ">"
// in a quoted attribute value does not end the tag.
int start_tag_end(const QByteArray& data, int i)
{
    char quote = 0;
    for (++i; i < data.size(); ++i) {
        const char c = data.at(i);
        if (c == '<' || (c == '>' && !quote)) {
            break;
        }
        if (quote) {
            quote = c == quote ? 0 : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        }
    }
    return i;
}

// The deepest nesting by tags alone, up to one level past the limit, and the offset where it is
// reached. Comments and CDATA sections hold no tags; other "<!" and "<?" markup opens nothing. A
// start tag that never ends, or holds a "<", counts as open: anything unsure counts as deeper,
// never as shallower, than the parser sees.
int deepest_nesting(const QByteArray& data, int& offset)
{
    int depth = 0;
    int deepest = 0;
    int i = int(data.indexOf('<'));
    while (i >= 0 && deepest <= max_profile_depth) {
        int next = i + 1;
        if (starts_at(data, i, "<!--")) {
            next = past(data, i, "-->");
        } else if (starts_at(data, i, "<![CDATA[")) {
            next = past(data, i, "]]>");
        } else if (starts_at(data, i, "</")) {
            depth = qMax(0, depth - 1);
        } else if (!starts_at(data, i, "<!") && !starts_at(data, i, "<?")) {
            next = start_tag_end(data, i);
            const bool empty_element =
                next < data.size() && data.at(next) == '>' && data.at(next - 1) == '/';
            if (!empty_element && ++depth > deepest) {
                deepest = depth;
                offset = i;
            }
        }
        i = next < 0 ? -1 : int(data.indexOf('<', next));
    }
    return deepest;
}

// The DOM parser recurses once per level of nesting and holds the whole file: a document nested
// tens of thousands of levels deep overflows its stack. The stream reader keeps its levels on
// the heap, so it measures the nesting first. Where it stops on an error, the parser may still
// accept the text (it takes undeclared entities, for one), so the verdict stays the parser's and
// only the nesting is measured further, by the tags alone.
bool fits_the_parser(const QByteArray& data, QString& error)
{
    if (data.size() > max_profile_size) {
        error = parse_error(QStringLiteral("Profile larger than %1 bytes").arg(max_profile_size),
                            data.left(max_profile_size).count('\n') + 1);
        return false;
    }
    const QString too_deep =
        QStringLiteral("Elements nested deeper than %1 levels").arg(max_profile_depth);
    QXmlStreamReader reader(data);
    reader.setNamespaceProcessing(false);
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::EndElement) {
            --depth;
        } else if (token == QXmlStreamReader::StartElement && ++depth > max_profile_depth) {
            error = parse_error(too_deep, reader.lineNumber());
            return false;
        }
    }
    int offset = 0;
    if (!reader.hasError() || deepest_nesting(data, offset) <= max_profile_depth) {
        return true;
    }
    error = parse_error(too_deep, data.left(offset).count('\n') + 1);
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
    assign_coordinate_roles(columns);
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

identity_position find_identity(const QList<profile_page>& pages)
{
    for (const profile_page& page : pages) {
        for (const profile_parameter& parameter : page.parameters) {
            const QList<position_entry> reads = parse_entry_list(parameter.read);
            if (parameter.identity && !reads.isEmpty() && reads.first().has_position())
                return {reads.first().key, reads.first().index};
        }
        for (const profile_command& command : page.commands) {
            for (int i = 0; i < command.parameters.size(); ++i) {
                if (command.parameters.at(i).identity)
                    return {command.command, i + 1};
            }
        }
    }
    return {};
}
