// Character names, spelling and abbreviations.
#include "translate/char_names.h"

#include <cstring>

#include "translate/translate.h"
#include "translate/translator_state.h"

namespace vocalith::translate {

const char* const AsciiNames[128] = {
    "nUWl ",                     // 0 NUL
    "stAArt AXv hEHdER ",        // 1 SOH
    "stAArt AXv tEHkst ",        // 2 STX
    "EHnd AXv tEHkst ",          // 3 ETX
    "EHnd AXv trAEnsmIHSHAXn",   // 4 EOT
    "EHnkwAYr ",                 // 5 ENQ
    "AEk ",                      // 6 ACK
    "bEHl ",                     // 7 BEL
    "bAEkspEYs ",                // 8 BS
    "tAEb ",                     // 9 HT
    "lIHnIYfIYd ",               // 10 LF
    "vERtIHkAXl tAEb ",          // 11 VT
    "fAOrmfIYd ",                // 12 FF
    "kAErAYj rIYtERn ",          // 13 CR
    "SHIHft AWt ",               // 14 SO
    "SHIHft IHn ",               // 15 SI
    "dIHlIYt ",                  // 16 DLE
    "dIHvIHs kAAntrAAl wAHn ",   // 17 DC1
    "dIHvIHs kAAntrAAl tUW ",    // 18 DC2
    "dIHvIHs kAAntrAAl THrIY ",  // 19 DC3
    "dIHvIHs kAAntrAAl fOWr ",   // 20 DC4
    "nAEk ",                     // 21 NAK
    "sIHnk ",                    // 22 SYN
    "EHnd tEHkst blAAk ",        // 23 ETB
    "kAEnsEHl ",                 // 24 CAN
    "EHnd AXv mEHsIHj ",         // 25 EM
    "sUWbstIHtUWt ",             // 26 SUB
    "EHskEYp ",                  // 27 ESC
    "fAYEHld sIYpERAEtER ",      // 28 FS
    "grUWp sIYpERAEtER ",        // 29 GS
    "rIYkAOrd sIYpERAEtER ",     // 30 RS
    "yUWnIHt sIYpERAEtER ",      // 31 US
    "spEYs ",                    // 32 blank
    "EHksklAEmEYSHAXn mAArk ",   // 33 !
    "dAHbl kwOWt ",              // 34 double quote
    "nUWmbER sAYn ",             // 35 #
    "dAAlER sAYn ",              // 36 $
    "pERsEHnt ",                 // 37 %
    "AEmpERsAEnd ",              // 38 &
    "kwOWt ",                    // 39 '
    "OWpEHn pEHrEHn ",           // 40 (
    "klOWz pEHrEHn ",            // 41 )
    "AEstEHrIHsk ",              // 42 *
    "plAHs ",                    // 43 +
    "kAAmmAX ",                  // 44 ,
    "mIHnAHs ",                  // 45 -
    "pIYrIYAAd ",                // 46 .
    "slAESH ",                   // 47 /
    "zIHrOW ",                   // 48 0
    "wAHn ",                     // 49 1
    "tUW ",                      // 50 2
    "THrIY ",                    // 51 3
    "fOWr ",                     // 52 4
    "fAYv ",                     // 53 5
    "sIHks ",                    // 54 6
    "sEHvAXn ",                  // 55 7
    "EYt ",                      // 56 8
    "nAYn ",                     // 57 9
    "kAAlAXn ",                  // 58 :
    "sEHmIHkAAlAXn ",            // 59 ;
    "lEHs DHAEn ",               // 60 <
    "EHkwAXl sAYn ",             // 61 =
    "grEYtER DHAEn ",            // 62 >
    "kwEHsCHAXn mAArk ",         // 63 ?
    "AEt sAYn ",                 // 64 at sign
    "EY ",                       // 65 A
    "bIY ",                      // 66 B
    "sIY ",                      // 67 C
    "dIY ",                      // 68 D
    "IY ",                       // 69 E
    "EHf ",                      // 70 F
    "jIY  ",                     // 71 G
    "EYtCH ",                    // 72 H
    "AY ",                       // 73 I
    "jEY ",                      // 74 J
    "kEY ",                      // 75 K
    "EHl ",                      // 76 L
    "EHm ",                      // 77 M
    "EHn ",                      // 78 N
    "AA ",                       // 79 O
    "pIY ",                      // 80 P
    "kIYyUW ",                   // 81 Q
    "AAr ",                      // 82 R
    "EHz ",                      // 83 S
    "tIY ",                      // 84 T
    "AHw ",                      // 85 U
    "vIY ",                      // 86 V
    "dAHblyUWw ",                // 87 W
    "EHks ",                     // 88 X
    "wAYIY ",                    // 89 Y
    "zIY ",                      // 90 Z
    "lEHft brAEkEHt ",           // 91 [
    "bAEkslAESH ",               // 92 backslash
    "rAYt brAEkEHt ",            // 93 ]
    "kAErEHt ",                  // 94 ^
    "AHndERskAOr ",              // 95 _
    "AEpAAstrAAfIH ",            // 96 grave accent
    "EY ",                       // 97 a
    "bIY ",                      // 98 b
    "sIY ",                      // 99 c
    "dIY ",                      // 100 d
    "IY ",                       // 101 e
    "EHf ",                      // 102 f
    "jIY  ",                     // 103 g
    "EYtCH ",                    // 104 h
    "AY ",                       // 105 i
    "jEY ",                      // 106 j
    "kEY ",                      // 107 k
    "EHl ",                      // 108 l
    "EHm ",                      // 109 m
    "EHn ",                      // 110 n
    "AA ",                       // 111 o
    "pIY ",                      // 112 p
    "kIYyUW ",                   // 113 q
    "AAr ",                      // 114 r
    "EHz ",                      // 115 s
    "tIY ",                      // 116 t
    "AHw ",                      // 117 u
    "vIY ",                      // 118 v
    "dAHblyUWw ",                // 119 w
    "EHks ",                     // 120 x
    "wAYIY ",                    // 121 y
    "zIY ",                      // 122 z
    "lEHft brEYs ",              // 123 {
    "vERtIHkAXl bAAr ",          // 124 vertical bar
    "rAYt brEYs ",               // 125 }
    "tAYld ",                    // 126 ~
    "dEHl ",                     // 127 DEL
};

void Translator::SayAscii(int c) {
    EmitString(AsciiNames[c & 127]);
}

void Translator::SpellWord(const char* word) {
    const size_t length = std::strlen(word);
    if (length <= 2) return;
    for (size_t i = 1; i + 1 < length; ++i) SayAscii(static_cast<unsigned char>(word[i]));
}

void Translator::ExpandAbbreviation(const char* word) {
    if (std::strcmp(word, " DR ") == 0) {
        TranslateWord(" DOCTOR ");
    } else if (std::strcmp(word, " MR ") == 0) {
        TranslateWord(" MISTER ");
    } else if (std::strcmp(word, " MRS ") == 0) {
        TranslateWord(" MISSUS ");
    } else if (std::strcmp(word, " PHD ") == 0) {
        SpellWord(" PHD ");
    } else {
        // Not a title: the period stays and is spoken by name afterwards.
        TranslateWord(word);
        return;
    }
    AdvanceWindow();  // the period of the title is consumed, not spoken
}

}  // namespace vocalith::translate
