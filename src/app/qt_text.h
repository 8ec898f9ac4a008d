// Texts (code page 936) to and from Qt's UTF-16 strings, always through the
// code-page layer and never through the locale.
#pragma once

#include <QString>

#include "text/text.h"

namespace kestrava {

QString to_qstring(const Text& text);
Text to_text(const QString& string);

}  // namespace kestrava
