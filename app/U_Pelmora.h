// The installer's main window.
#pragma once

#include "Forms.h"

namespace U_Pelmora {

class TForm1 : public platform::TForm {
public:
    TForm1();

    platform::TLabel* Label1;
    platform::TButton* Button1;

    void Button1Click(platform::TObject* sender);
};

extern TForm1* Form1;

}  // namespace U_Pelmora
