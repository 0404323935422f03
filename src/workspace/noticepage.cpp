#include "noticepage.h"

#include <QFutureWatcher>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <gumbo.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace
{

const QString kFormName = QStringLiteral("formsg");

// --- decoding ----------------------------------------------------------------

QByteArray charsetOf(const QByteArray &text)
{
    static const QRegularExpression charset(
        QStringLiteral(R"(charset\s*=\s*["']?\s*([A-Za-z0-9_.:\-]+))"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = charset.match(QString::fromLatin1(text));
    return match.hasMatch() ? match.captured(1).toLatin1() : QByteArray();
}

QByteArray charsetFromMeta(const QByteArray &body)
{
    // Declarations live in the head; looking at the first 8 KiB is enough.
    static const QRegularExpression meta(QStringLiteral(R"(<meta\b[^>]*>)"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QString head = QString::fromLatin1(body.left(8192));
    auto it = meta.globalMatch(head);
    while (it.hasNext()) {
        const QByteArray name = charsetOf(it.next().captured(0).toLatin1());
        if (!name.isEmpty())
            return name;
    }
    return {};
}

QByteArray decoderName(QByteArray charset)
{
    charset = charset.toLower();
    if (charset == "gb2312" || charset == "gbk" || charset == "gb18030" || charset == "x-gbk" ||
        charset == "cp936" || charset == "euc-cn" || charset == "csgb2312" ||
        charset == "gb_2312-80" || charset == "windows-936")
        return "GB18030";
    return charset;
}

// --- reading the tree ----------------------------------------------------------

QString attribute(const GumboNode *node, const char *name)
{
    const GumboAttribute *attr = gumbo_get_attribute(&node->v.element.attributes, name);
    return attr ? QString::fromUtf8(attr->value) : QString();
}

bool hasAttribute(const GumboNode *node, const char *name)
{
    return gumbo_get_attribute(&node->v.element.attributes, name) != nullptr;
}

// Calls visit for root and every node below it, in document order, without
// recursion: a page may nest deeper than the stack allows.
template <typename Visit> void walk(const GumboNode *root, Visit visit)
{
    std::vector<const GumboNode *> stack{root};
    while (!stack.empty()) {
        const GumboNode *node = stack.back();
        stack.pop_back();
        visit(node);
        if (node->type != GUMBO_NODE_ELEMENT)
            continue;
        const GumboVector &children = node->v.element.children;
        for (unsigned i = children.length; i > 0; --i)
            stack.push_back(static_cast<const GumboNode *>(children.data[i - 1]));
    }
}

QString textOf(const GumboNode *node)
{
    QByteArray text;
    walk(node, [&text](const GumboNode *n) {
        if (n->type == GUMBO_NODE_TEXT || n->type == GUMBO_NODE_WHITESPACE ||
            n->type == GUMBO_NODE_CDATA)
            text += n->v.text.text;
    });
    return QString::fromUtf8(text);
}

// Every element of root's tree (root included) in document order.
void flatten(const GumboNode *root, std::vector<const GumboNode *> &out)
{
    walk(root, [&out](const GumboNode *n) {
        if (n->type == GUMBO_NODE_ELEMENT)
            out.push_back(n);
    });
}

std::optional<QString> selectValue(const GumboNode *select)
{
    std::vector<const GumboNode *> nodes;
    flatten(select, nodes);
    const GumboNode *chosen = nullptr;
    for (const GumboNode *node : nodes) {
        if (node->v.element.tag != GUMBO_TAG_OPTION)
            continue;
        if (!chosen)
            chosen = node; // a single select shows its first option by default
        if (hasAttribute(node, "selected")) {
            chosen = node;
            break;
        }
    }
    if (!chosen)
        return std::nullopt;
    if (hasAttribute(chosen, "value"))
        return attribute(chosen, "value");
    return textOf(chosen).simplified();
}

// The value a control contributes under its name, if any.
std::optional<QString> controlValue(const GumboNode *node)
{
    switch (node->v.element.tag) {
    case GUMBO_TAG_INPUT: {
        const QString type = attribute(node, "type").toLower();
        if (type == QLatin1String("checkbox") || type == QLatin1String("radio")) {
            if (!hasAttribute(node, "checked"))
                return std::nullopt;
            return hasAttribute(node, "value") ? attribute(node, "value") : QStringLiteral("on");
        }
        return attribute(node, "value");
    }
    case GUMBO_TAG_TEXTAREA:
        return textOf(node).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    case GUMBO_TAG_SELECT:
        return selectValue(node);
    default:
        return std::nullopt;
    }
}

// Adds the named controls among nodes; the first of a name wins.
void collectControls(const std::vector<const GumboNode *> &nodes, QHash<QString, QString> &values)
{
    for (const GumboNode *node : nodes) {
        const QString name = attribute(node, "name");
        if (name.isEmpty())
            continue;
        const std::optional<QString> value = controlValue(node);
        if (value && !values.contains(name))
            values.insert(name, *value);
    }
}

bool isNoticeForm(const GumboNode *node)
{
    return node->v.element.tag == GUMBO_TAG_FORM &&
           (attribute(node, "name") == kFormName || attribute(node, "id") == kFormName);
}

size_t offsetOf(const GumboNode *node)
{
    return node->v.element.start_pos.offset;
}

// Where the form that starts at `from` ends in the page's text: its end tag,
// or the next form, or the end of the page.
size_t formEnd(const QByteArray &source, size_t from, const std::vector<const GumboNode *> &nodes,
               size_t formIndex)
{
    static const char endTag[] = "</form";
    const auto it = std::search(
        source.begin() + qsizetype(from), source.end(), endTag, endTag + sizeof(endTag) - 1,
        [](char a, char b) { return QChar::toLower(uchar(a)) == uchar(b); });
    size_t end = size_t(it - source.begin());
    for (size_t i = formIndex + 1; i < nodes.size(); ++i) {
        if (nodes[i]->v.element.tag == GUMBO_TAG_FORM && offsetOf(nodes[i]) > from)
            end = std::min(end, offsetOf(nodes[i]));
    }
    return end;
}

// The controls of the form are those inside it and, as a browser counts
// them, those that come after its start tag in the page up to its end tag:
// the parser closes a form early when it is opened inside a table or
// between badly nested tags, and moves stray table content around.
NoticeForm readForm(const GumboNode *root, const QByteArray &source)
{
    std::vector<const GumboNode *> nodes;
    flatten(root, nodes);
    NoticeForm form;
    for (size_t at = 0; at < nodes.size(); ++at) {
        if (!isNoticeForm(nodes[at]))
            continue;
        form.found = true;
        std::vector<const GumboNode *> inside;
        flatten(nodes[at], inside);
        const size_t insideEnd = at + inside.size();
        const size_t from = offsetOf(nodes[at]);
        const size_t to = formEnd(source, from, nodes, at);
        std::vector<const GumboNode *> owned;
        for (size_t i = 0; i < nodes.size(); ++i) {
            const bool within = i > at && i < insideEnd;
            const size_t offset = offsetOf(nodes[i]);
            if (within || (i != at && offset > from && offset < to))
                owned.push_back(nodes[i]);
        }
        collectControls(owned, form.values);
        return form;
    }
    return form;
}

// The parser stops the whole program on an assertion of its own for some
// misnested SVG and MathML (inside tables, selects, templates). A notice form
// has no use for either: their tags are renamed to unknown ones of the same
// length, which the parser treats as ordinary elements.
void renameForeignContent(QByteArray &html)
{
    static const char *const names[] = {"svg", "math"};
    for (qsizetype at = html.indexOf('<'); at >= 0; at = html.indexOf('<', at + 1)) {
        qsizetype name = at + 1;
        if (name < html.size() && html.at(name) == '/')
            ++name;
        for (const char *tag : names) {
            const auto length = qsizetype(qstrlen(tag));
            const qsizetype end = name + length;
            if (end > html.size() || qstrnicmp(html.constData() + name, tag, uint(length)) != 0)
                continue;
            const char next = end < html.size() ? html.at(end) : ' ';
            if (next == ' ' || next == '\t' || next == '\n' || next == '\r' || next == '\f' ||
                next == '/' || next == '>')
                html[name] = 'x';
        }
    }
}

} // namespace

QString decodePage(const QByteArray &body, const QByteArray &contentType)
{
    QByteArray charset = charsetOf(contentType);
    if (charset.isEmpty())
        charset = charsetFromMeta(body);
    QStringDecoder decoder(decoderName(charset).constData());
    if (charset.isEmpty() || !decoder.isValid())
        decoder = QStringDecoder(QStringDecoder::Utf8);
    return decoder.decode(body);
}

NoticeForm parseNoticeForm(const QByteArray &body, const QByteArray &contentType)
{
    QByteArray utf8 = decodePage(body, contentType).toUtf8();
    renameForeignContent(utf8);
    // The parse errors are of no use here, and each one keeps a copy of the
    // stack of open elements: a page of a few thousand unclosed tags would
    // cost gigabytes.
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    GumboOutput *output = gumbo_parse_with_options(&options, utf8.constData(), size_t(utf8.size()));
    NoticeForm form = readForm(output->root, utf8);
    gumbo_destroy_output(&options, output);
    return form;
}

// --- NoticePage ----------------------------------------------------------------

NoticePage::NoticePage(QObject *parent) : QObject(parent) {}

NoticePage::~NoticePage()
{
    dropReply();
}

void NoticePage::navigate(const QUrl &url)
{
    url_ = url;
    dropReply();
    dropParse();
    form_ = NoticeForm();
    if (!net_)
        net_ = new QNetworkAccessManager(this);
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(kTimeoutMs);
    reply_ = net_->get(request);
    connect(reply_, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) {
        if (received > kMaxPageBytes && reply_)
            reply_->abort();
    });
    connect(reply_, &QNetworkReply::finished, this, &NoticePage::onFinished);
    // A page that trickles in keeps the transfer alive; it gets a minute.
    QTimer::singleShot(kDeadlineMs, reply_, [reply = reply_] { reply->abort(); });
}

void NoticePage::refresh()
{
    if (url_.isValid())
        navigate(url_);
}

bool NoticePage::isLoading() const
{
    return reply_ != nullptr || parse_ != nullptr;
}

std::optional<QString> NoticePage::value(const QString &name) const
{
    if (!form_.found || !form_.values.contains(name))
        return std::nullopt;
    return form_.values.value(name);
}

void NoticePage::dropReply()
{
    if (!reply_)
        return;
    QNetworkReply *reply = reply_;
    reply_ = nullptr;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

void NoticePage::onFinished()
{
    QNetworkReply *reply = reply_;
    reply_ = nullptr;
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || status < 200 || status >= 300) {
        emit failed();
        return;
    }
    parseInBackground(reply->readAll(),
                      reply->header(QNetworkRequest::ContentTypeHeader).toString().toLatin1());
}

// Parsing a large page takes a while: it runs on Qt's pool with copies of
// what it reads, so a page dropped meanwhile leaves it nothing to touch.
void NoticePage::parseInBackground(const QByteArray &body, const QByteArray &contentType)
{
    dropParse();
    parse_ = new QFutureWatcher<NoticeForm>(this);
    connect(parse_, &QFutureWatcherBase::finished, this, &NoticePage::onParsed);
    parse_->setFuture(
        QtConcurrent::run([body, contentType]() { return parseNoticeForm(body, contentType); }));
}

void NoticePage::onParsed()
{
    form_ = parse_->result();
    dropParse();
    emit loaded();
}

// The watcher may be the one emitting: it goes once its signal is over.
void NoticePage::dropParse()
{
    if (!parse_)
        return;
    parse_->disconnect(this);
    std::exchange(parse_, nullptr)->deleteLater();
}
