#include "U_Pelmora.h"

#include "U_TAVRO.h"

namespace U_Pelmora {

TForm1* Form1 = nullptr;

TForm1::TForm1()
    : TForm("TForm1",
            {{"Button1Click", [this](platform::TObject* sender) { Button1Click(sender); }}}),
      Label1(Component<platform::TLabel>("Label1")),
      Button1(Component<platform::TButton>("Button1")) {}

void TForm1::Button1Click(platform::TObject* /*sender*/) { U_TAVRO::InstallPdfComponent(true); }

}  // namespace U_Pelmora
