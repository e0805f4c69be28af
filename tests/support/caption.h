#pragma once

#include <QAbstractButton>
#include <QString>

namespace halvek::test {

// A button's caption as the user reads it: its Alt+letter marks taken out ("&&" reads "&").
inline QString caption(const QAbstractButton* button) {
    QString out;
    const QString t = button->text();
    for (int i = 0; i < t.size(); ++i) {
        if (t[i] == '&' && i + 1 < t.size()) ++i;
        out.append(t[i]);
    }
    return out;
}

}  // namespace halvek::test
