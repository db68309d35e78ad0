#include "ImportRequest.h"

#include "host/HostConfiguration.h"
#include "host/Settings.h"

void applySettingsAndHost(ImportRequest &request, const Settings &settings, const HostConfiguration &host,
                          const DatabaseLogin &login)
{
    request.OwnMemberCode = host.OwnMemberCode;
    request.InputFolder = settings.InputFolder;
    request.OutputFolder = settings.OutputFolder;
    request.PapirPoKotacijiSLO = settings.PapirPoKotacijiSLO;
    request.TransaImportPreferred = host.TransaImportPreferred;
    request.DatabaseAlias = login.Alias;
    request.DatabaseUser = login.User;
    request.DatabasePassword = login.Password;
}
