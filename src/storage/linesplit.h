#pragma once

#include <QStringList>

// Splits a text at CR LF. Unlike QString::split, an empty text gives no pieces at
// all; otherwise every piece between separators is kept, empty ones included, so
// a text ending in CR LF gives an empty last piece. A lone CR or LF is not a
// separator and stays inside its piece.
QStringList SplitLines(const QString &text);
