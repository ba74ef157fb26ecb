// TForm1: the file and folder commands. They arrive with the file operation component; until then
// their menu items and buttons are in place and do nothing.
#include "about/aboutdlg.h"
#include "browser/main.h"

void TForm1::About1Click()
{
    if (AboutBox)
        AboutBox->ShowModal();
}

void TForm1::Delete1Click() {}
void TForm1::Rename1Click() {}
void TForm1::Properties1Click() {}
void TForm1::EditWaveClick() {}
void TForm1::WaveListDblClick() {}
void TForm1::OpenInWaveEditor() {}
void TForm1::NewFolderClick() {}
void TForm1::ToolButton3Click() {}
void TForm1::ReloadTree() {}
void TForm1::EditSelectedFolderName() {}
void TForm1::WaveListEdited(int, std::string&) {}
void TForm1::DirTree1Editing(QTreeWidgetItem*, bool&) {}
void TForm1::DirTree1Edited(QTreeWidgetItem*, std::string&) {}
void TForm1::DirTree1KeyDown(int&, Qt::KeyboardModifiers) {}
