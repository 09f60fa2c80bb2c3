#pragma once

#include <QString>

// An HTML fragment showing a plain text as it reads: markup characters as entities, tabs as
// eight blanks, runs of blanks kept with &nbsp;, and "<BR>" where each line ended (CR LF, a lone
// CR or a lone LF). The result is one line without any document frame.
QString TextToHtml(const QString& text);
