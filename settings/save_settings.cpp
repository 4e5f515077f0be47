// Saving the settings: the settings record and the dialog's choices written
// back into the settings document (settings/settings_record.h), then the
// document saved to the settings file. Nothing is told to the operator.
#include "app/pyrrow_dlg.h"

int CPyrrowDlg::SaveSettings()
{
    if (m_configPath.GetString() == nullptr || m_configPath.GetCapacity() == 0 || m_configPath.GetLength() == 0)
        return 0;  // a run started with a port on the command line saves nothing
    // What cannot be found or made is skipped; the document is saved all the same.
    pyrrow::settings::WriteSettings(m_settings, m_settingsRecord, SettingsChoices(), m_numText);
    return m_settings.Save(m_configPath.GetString());
}
