#include "app/pyrrow_app.h"

#include <memory>

#include "app/prikazovy_radek.h"
#include "app/pyrrow_dlg.h"

CPyrrowApp::CPyrrowApp(std::vector<std::u16string> arguments, RunDialog runDialog)
    : m_arguments(std::move(arguments)), m_runDialog(std::move(runDialog))
{
}

bool CPyrrowApp::InitInstance()
{
    // The window system and its controls are set up by the host before this
    // runs. The Windows build's registry key and control container have no
    // meaning off Windows: Pyrrow keeps nothing in a registry, and its
    // settings live in the file beside the program.
    auto record = std::make_unique<CPrikazovyRadek>();
    ParseCommandLine(*record, m_arguments);
    MakePathsAbsolute(*record);

    auto dialog = std::make_unique<CPyrrowDlg>();
    dialog->m_pCmdLine = record.get();
    // However the dialog ends, the program ends.
    m_runDialog(*dialog);

    // The dialog goes first: it points to the record.
    dialog.reset();
    record.reset();
    return false;
}
