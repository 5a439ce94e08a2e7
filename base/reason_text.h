// reason_text: makes text that came from outside (a decoder helper's reason, a path) fit for
// one log line and a notice.
//
//   CleanReasonText(reason);   // in place: "END\xae PNG" -> "END? PNG", "a\nb" -> "a?b"
//   ReplaceUnfitBytes(name, '_');   // the same with a replacement of one's own choosing
//
// Control bytes (below 0x20, and 0x7f) and bytes that are not part of well-formed UTF-8 become
// '?' (or the replacement given); everything else, including any well-formed UTF-8, stays as it
// is. No allocation.
#pragma once

void CleanReasonText(char* text);
void ReplaceUnfitBytes(char* text, char replacement);
