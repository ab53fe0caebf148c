// The program's user-facing texts, in French, byte for byte.
#pragma once

#ifndef VARNOCK_HOMEPAGE
#define VARNOCK_HOMEPAGE "https://varnock.example.org/"
#endif

inline constexpr const char* bannerText =
    "varnock : conversion d'images GIF en images WAP (WBMP)\n"
    "Logiciels downloadables sur " VARNOCK_HOMEPAGE
    "\n"
    "Quand on les utilise, ils recopient mon CV, merci de le lire...\n";

inline constexpr const char* usageText =
    "utilisation :\n"
    "\n"
    "   varnock  srce.gif  dest.wbmp  widthOrZero  heightOrZero\n"
    "\n"
    "arguments :\n"
    "\n"
    "   srce.gif         fichier GIF d'origine\n"
    "   dest.wbmp        image WAP qui sera construite\n"
    "   widthOrZero      largeur de l'image WAP, ou 0 (automatique)\n"
    "   heightOrZero     hauteur de l'image WAP, ou 0 (automatique)\n"
    "\n"
    "exemple sur une image d'origine de 200 de large et 150 de haut :\n"
    "\n"
    "   widthOrZero   heightOrZero   largeur WAP   hauteur WAP\n"
    "        0              O            200           150\n"
    "       40              0             40            30\n"
    "        0             45             60            45\n"
    "       99             77             99            77\n"
    "\n"
    "on peut construire une image WAP plus grande que l'origine GIF.";
