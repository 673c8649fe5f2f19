#pragma once

// The user's language: Qt's own translations, and a face for Persian text.

// Loads Qt's own translations (the line's context menu...) for the user's
// locale, keeping the strip's designed left-to-right layout.
void loadQtTranslations();

// Warns on standard error when no installed face can shape Arabic script:
// the Persian words would silently not be drawn.
void warnIfNoArabicFont();
