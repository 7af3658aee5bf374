#include "platform/search/SearchQuery.h"

#include <limits>

namespace wendle::search {

namespace {

struct Token {
    enum class Type { End, Name, Star, Equal, Less, LessOrEqual, Greater, GreaterOrEqual, And, Or, Open, Close, Value, Number };
    Type type = Type::End;
    qsizetype position = 0; // 0-based; messages add one
    qsizetype length = 0;
    QString name;    // Name
    Pattern pattern; // Value
    ValueModifiers modifiers;
    qint64 number = 0;
};

// Recursive descent without exceptions: the first fault is kept, the current token
// turns into the end, and every step after that unwinds at once.
class Parser {
public:
    explicit Parser(const QString &text) : m_text(text) {}

    std::optional<QueryNode> parse(QString *error)
    {
        advance();
        std::optional<QueryNode> root;
        if (m_token.type == Token::Type::End && m_error.isEmpty())
            fail(QStringLiteral("the query is empty"));
        else
            root = parseOr();
        if (m_error.isEmpty() && m_token.type != Token::Type::End)
            fail(QStringLiteral("unexpected %1 at position %2 after a complete query").arg(describe(m_token), position(m_token)));
        if (!m_error.isEmpty()) {
            if (error)
                *error = m_error;
            return std::nullopt;
        }
        return root;
    }

private:
    static constexpr int kMaxDepth = 100;

    const QString &m_text;
    qsizetype m_next = 0;
    Token m_token;
    QString m_error;
    int m_depth = 0;

    static QString position(const Token &token) { return QString::number(token.position + 1); }

    void fail(const QString &message)
    {
        if (m_error.isEmpty())
            m_error = message;
        m_token.type = Token::Type::End; // stops every loop
    }

    QString sourceText(const Token &token) const { return m_text.mid(token.position, token.length); }

    QString describe(const Token &token) const
    {
        switch (token.type) {
        case Token::Type::End: return QStringLiteral("the end of the query");
        case Token::Type::Value: return QStringLiteral("a quoted value");
        default: return QLatin1Char('\'') + sourceText(token) + QLatin1Char('\'');
        }
    }

    // ---- scanner -------------------------------------------------------------

    void advance()
    {
        if (!m_error.isEmpty())
            return;
        scan();
        m_token.length = m_next - m_token.position;
    }

    void scan()
    {
        while (m_next < m_text.size() && m_text.at(m_next).isSpace())
            ++m_next;
        m_token = Token();
        m_token.position = m_next;
        if (m_next >= m_text.size())
            return;
        const QChar c = m_text.at(m_next);
        const QChar following = m_next + 1 < m_text.size() ? m_text.at(m_next + 1) : QChar();
        auto symbol = [&](Token::Type type, int length) {
            m_token.type = type;
            m_next += length;
        };
        if (c == u'(')
            return symbol(Token::Type::Open, 1);
        if (c == u')')
            return symbol(Token::Type::Close, 1);
        if (c == u'*')
            return symbol(Token::Type::Star, 1);
        if (c == u'=')
            return symbol(Token::Type::Equal, following == u'=' ? 2 : 1);
        if (c == u'<')
            return following == u'=' ? symbol(Token::Type::LessOrEqual, 2) : symbol(Token::Type::Less, 1);
        if (c == u'>')
            return following == u'=' ? symbol(Token::Type::GreaterOrEqual, 2) : symbol(Token::Type::Greater, 1);
        if (c == u'&' && following == u'&')
            return symbol(Token::Type::And, 2);
        if (c == u'|' && following == u'|')
            return symbol(Token::Type::Or, 2);
        if (c == u'\'' || c == u'"')
            return scanValue(c);
        if (c.isDigit())
            return scanNumber();
        if (c.isLetter() || c == u'_')
            return scanName();
        fail(QStringLiteral("unexpected character '%1' at position %2").arg(c).arg(m_next + 1));
    }

    void scanName()
    {
        const qsizetype start = m_next;
        while (m_next < m_text.size() && (m_text.at(m_next).isLetterOrNumber() || m_text.at(m_next) == u'_'))
            ++m_next;
        m_token.type = Token::Type::Name;
        m_token.name = m_text.mid(start, m_next - start);
    }

    void scanNumber()
    {
        qint64 value = 0;
        const qsizetype start = m_next;
        for (; m_next < m_text.size() && m_text.at(m_next).isDigit(); ++m_next) {
            const int digit = m_text.at(m_next).digitValue();
            if (digit < 0 || value > (std::numeric_limits<qint64>::max() - digit) / 10)
                return fail(QStringLiteral("the number at position %1 is too large").arg(start + 1));
            value = value * 10 + digit;
        }
        m_token.type = Token::Type::Number;
        m_token.number = value;
    }

    void appendText(Pattern &pattern, QChar c)
    {
        if (pattern.empty() || pattern.back().type != PatternPiece::Type::Text)
            pattern.push_back({PatternPiece::Type::Text, QString()});
        pattern.back().text += c;
    }

    void scanValue(QChar quote)
    {
        const qsizetype start = m_next++;
        Pattern pattern;
        for (;;) {
            if (m_next >= m_text.size())
                return fail(QStringLiteral("the value starting at position %1 has no closing quote").arg(start + 1));
            const QChar c = m_text.at(m_next++);
            if (c == quote)
                break;
            if (c == u'*') {
                pattern.push_back({PatternPiece::Type::AnyRun, QString()});
            } else if (c == u'?') {
                pattern.push_back({PatternPiece::Type::AnyChar, QString()});
            } else if (c != u'\\') {
                appendText(pattern, c);
            } else if (m_next < m_text.size() && QStringView(u"\\'\"*?").contains(m_text.at(m_next))) {
                appendText(pattern, m_text.at(m_next++));
            } else if (m_next >= m_text.size()) {
                return fail(QStringLiteral("the value starting at position %1 has no closing quote").arg(start + 1));
            } else {
                return fail(QStringLiteral("unknown escape '\\%1' at position %2 (a backslash may only precede "
                                           "\\, ', \", * or ?)")
                                .arg(m_text.at(m_next))
                                .arg(m_next));
            }
        }
        m_token.type = Token::Type::Value;
        m_token.pattern = std::move(pattern);
        scanModifiers();
    }

    void scanModifiers()
    {
        for (; m_next < m_text.size() && m_text.at(m_next).isLetterOrNumber(); ++m_next) {
            const QChar c = m_text.at(m_next);
            if (c == u'c')
                m_token.modifiers.ignoreCase = true;
            else if (c == u'd')
                m_token.modifiers.ignoreDiacritics = true;
            else if (c == u'w')
                m_token.modifiers.words = true;
            else
                return fail(QStringLiteral("unknown modifier '%1' at position %2 (allowed: c, d, w)").arg(c).arg(m_next + 1));
        }
    }

    // ---- grammar -------------------------------------------------------------

    QueryNode parseOr() { return parseChain(Token::Type::Or, QueryNode::Type::Or); }

    QueryNode parseChain(Token::Type joiner, QueryNode::Type type)
    {
        QueryNode first = joiner == Token::Type::Or ? parseChain(Token::Type::And, QueryNode::Type::And) : parsePrimary();
        if (m_token.type != joiner)
            return first;
        QueryNode chain;
        chain.type = type;
        chain.children.push_back(std::move(first));
        while (m_token.type == joiner) {
            advance();
            chain.children.push_back(joiner == Token::Type::Or ? parseChain(Token::Type::And, QueryNode::Type::And) : parsePrimary());
        }
        return chain;
    }

    QueryNode parsePrimary()
    {
        if (m_token.type != Token::Type::Open)
            return parseComparison();
        const Token open = m_token;
        if (++m_depth > kMaxDepth) {
            fail(QStringLiteral("parentheses nested too deeply at position %1").arg(position(open)));
            return {};
        }
        advance();
        QueryNode inner = parseOr();
        --m_depth;
        if (m_token.type != Token::Type::Close) {
            fail(QStringLiteral("expected ')' at position %1 to close the '(' at position %2, found %3")
                     .arg(position(m_token), position(open), describe(m_token)));
            return {};
        }
        advance();
        return inner;
    }

    std::optional<Attribute> attributeOf(const Token &token)
    {
        if (token.type == Token::Type::Star)
            return Attribute::AnyText;
        if (token.type != Token::Type::Name) {
            fail(QStringLiteral("expected an attribute name at position %1, found %2").arg(position(token), describe(token)));
            return std::nullopt;
        }
        static const std::pair<const char16_t *, Attribute> known[] = {
            {u"kMDItemPath", Attribute::Path},
            {u"kMDItemFSName", Attribute::FSName},
            {u"kMDItemDisplayName", Attribute::DisplayName},
            {u"kMDItemKind", Attribute::Kind},
            {u"kMDItemTextContent", Attribute::TextContent},
            {u"kMDItemFSSize", Attribute::Size},
        };
        for (const auto &[name, attribute] : known) {
            if (token.name == QStringView(name))
                return attribute;
        }
        fail(QStringLiteral("unknown attribute '%1' at position %2").arg(token.name, position(token)));
        return std::nullopt;
    }

    QueryNode parseComparison()
    {
        QueryNode node;
        const Token subject = m_token;
        const std::optional<Attribute> attribute = attributeOf(subject);
        if (!attribute)
            return node;
        node.attribute = *attribute;
        advance();
        const Token op = m_token;
        switch (op.type) {
        case Token::Type::Equal: node.comparison = Comparison::Equal; break;
        case Token::Type::Less: node.comparison = Comparison::Less; break;
        case Token::Type::LessOrEqual: node.comparison = Comparison::LessOrEqual; break;
        case Token::Type::Greater: node.comparison = Comparison::Greater; break;
        case Token::Type::GreaterOrEqual: node.comparison = Comparison::GreaterOrEqual; break;
        default:
            fail(QStringLiteral("expected a comparison ('==', '=', '<', '<=', '>' or '>=') at position %1, found %2")
                     .arg(position(op), describe(op)));
            return node;
        }
        advance();
        const Token value = m_token;
        if (node.attribute == Attribute::Size) {
            if (value.type != Token::Type::Number)
                fail(QStringLiteral("kMDItemFSSize compares with a number; found %1 at position %2").arg(describe(value), position(value)));
            node.number = value.number;
        } else if (node.comparison != Comparison::Equal) {
            fail(QStringLiteral("'%1' at position %2 compares numbers, but the attribute at position %3 is text")
                     .arg(sourceText(op), position(op), position(subject)));
        } else if (value.type != Token::Type::Value) {
            fail(QStringLiteral("expected a quoted value at position %1, found %2").arg(position(value), describe(value)));
        } else {
            node.pattern = value.pattern;
            node.modifiers = value.modifiers;
        }
        advance();
        return node;
    }
};

} // namespace

std::optional<QueryNode> parseQuery(const QString &text, QString *error)
{
    return Parser(text).parse(error);
}

} // namespace wendle::search
