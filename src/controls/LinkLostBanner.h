#pragma once

#include <QString>

class QDialog;
class QWidget;

namespace velmar {

// Dialogs that talk to the frame stay open when its link goes: what the
// operator typed is kept, a line at the top says what happened, and what
// would send is disabled until the link is back.
//
// Push buttons send unless they close, cancel, help or only work on files
// (kept below). Any other widget that sends (a check box that sends when
// ticked, a list whose menu sends) is marked with this property set to true;
// a push button that only works locally is marked with it set to false.
inline constexpr char kSendsToFrameProperty[] = "sendsToFrame";
// A dialog that needs no link at all (adding an address, addressing another
// frame over UDP) carries this property set to true and is left alone.
inline constexpr char kLinkIndependentProperty[] = "linkIndependent";

// Shows `text` at the top of `dialog` and disables what sends; called again it
// only changes the text (and disables what has appeared since).
void showLinkLost(QDialog* dialog, const QString& text);
// Takes the line away and enables again what showLinkLost disabled.
void clearLinkLost(QDialog* dialog);
// The line, while shown; null otherwise.
QWidget* linkLostLine(const QDialog* dialog);
// Whether the rules above count `widget` as one that sends.
bool sendsToFrame(const QWidget* widget);

} // namespace velmar
