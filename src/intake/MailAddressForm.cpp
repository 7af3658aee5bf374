#include "intake/MailAddressForm.h"

#include <QRegularExpression>

namespace wendle {

bool isOneMailAddress(const QString &text)
{
    // No blanks, nor what delimits or quotes the parts of an address list;
    // a domain label holds no dot either.
    static const QString local = QStringLiteral(R"([^\s\p{Cc}@<>(),;:"\[\]\\]+)");
    static const QString label = QStringLiteral(R"([^\s\p{Cc}@<>(),;:"\[\]\\.]+)");
    static const QRegularExpression address(u'^' + local + u'@' + label + QStringLiteral("(\\.") + label + QStringLiteral(")*$"),
                                            QRegularExpression::UseUnicodePropertiesOption);
    return address.match(text).hasMatch();
}

} // namespace wendle
