#pragma once

#include <QTest>

namespace tavolin::test {

// One key pressed and released on `w`.
inline void Press(QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods = {})
{
    QTest::keyClick(w, key, mods);
}

} // namespace tavolin::test
