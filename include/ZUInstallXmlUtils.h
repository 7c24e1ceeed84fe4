// Accessors over the install request message (namespace XmlUtils). Including
// this header gives the message classes it names.
//
// Shared rules: int results are 0 on success and -1 on any failure (null
// message or entry, index not below the number of entries, an absent field or
// block on the path); outputs are written only on success unless a comment
// names the exception; pointers handed out are borrowed from the caller's tree.
// Integers read into int take the low 32 bits; identifiers read into unsigned
// long take the low 32 bits sign-extended (4294967295 reads as
// 18446744073709551615). Only the setters, UpdateRequestFlags and
// ClearSIMError change the message.
#pragma once

#include <string>
#include <vector>

#include "ZuInstallMessages.h"
#include "zuinstall_export.h"

namespace XmlUtils {

// ---- Navigation ------------------------------------------------------------

// Returns entry `index` of the request's client list; null when the request is
// null, the list absent, or index not below its size.
ZUINSTALL_API ZUInstallManager::ClientsComposition* GetClientComposition(ZUInstallManager::ClientSetup* request,
                                                                         unsigned long index);
// Returns the entry's components block; null for a null entry, an absent field or a null child.
ZUINSTALL_API ZUInstallManager::Components* GetComponents(ZUInstallManager::ClientsComposition* entry);
// Returns the entity of the entry's client; null at the first absent link of clientInfo, client, clientEntity.
ZUINSTALL_API ZuEntities::ClientEntity* GetClientEntity(ZUInstallManager::ClientsComposition* entry);
// Counts entry 0's packages (never a later entry's); -1 when entry 0, its components or packages are absent.
ZUINSTALL_API int GetComponentCount(ZUInstallManager::ClientSetup* request, int& count);

// ---- Client identity ---------------------------------------------------------

// Reads the client's name; -1 with name untouched when it is absent or empty.
ZUINSTALL_API int GetClientName(ZUInstallManager::ClientsComposition* entry, std::string& name);
// Reads the name of entry `index`; -1 with name untouched when absent, empty or no such entry.
ZUINSTALL_API int GetClientName(ZUInstallManager::ClientSetup* request, unsigned long index, std::string& name);
// Reads the client's host name; -1 with host untouched when it is absent or empty.
ZUINSTALL_API int GetClientHostName(ZUInstallManager::ClientsComposition* entry, std::string& host);
// Reads the host name of entry `index`; -1 with host untouched when absent, empty or no such entry.
ZUINSTALL_API int GetClientHostName(ZUInstallManager::ClientSetup* request, unsigned long index, std::string& host);
// Reads the central server's client name; -1 with name untouched when absent or empty.
ZUINSTALL_API int GetDXClientName(ZUInstallManager::ClientSetup* request, std::string& name);
// Reads the central server's host name (never falls back to its client name); -1 when absent or empty.
ZUINSTALL_API int GetDXHostName(ZUInstallManager::ClientSetup* request, std::string& host);
// Reads the source client named by entry `index`'s entity; -1 with name untouched when absent or empty.
ZUINSTALL_API int GetSourceClientForClient(ZUInstallManager::ClientSetup* request, unsigned long index,
                                           std::string& name);
// Reads the client's GUID; an empty stored GUID is written to guid and still gives -1.
ZUINSTALL_API int GetClientGUID(App::Client* client, std::string& guid);
// Reads the GUID of entry `index`'s client; an empty stored GUID is written and gives -1.
ZUINSTALL_API int GetClientGUID(ZUInstallManager::ClientSetup* request, unsigned long index, std::string& guid);
// Reads the central server's GUID; an empty stored GUID is written and gives -1.
ZUINSTALL_API int GetDXGUID(ZUInstallManager::ClientSetup* request, std::string& guid);
// Reads the client's identifier, low 32 bits sign-extended; -1 with id untouched when absent.
ZUINSTALL_API int GetClientID(ZUInstallManager::ClientsComposition* entry, unsigned long& id);
// Reads the identifier of entry `index`'s client, sign-extended; -1 with id untouched when absent.
ZUINSTALL_API int GetClientID(ZUInstallManager::ClientSetup* request, unsigned long index, unsigned long& id);
// Reads the user-centric client's identifier, sign-extended; an absent identifier reads as 0.
ZUINSTALL_API int GetUserCentricClient(ZUInstallManager::ClientSetup* request, unsigned long index, unsigned long& id);
// Hands out entry `index`'s user-centric client entity as stored: 0 with a null entity when the field holds none.
ZUINSTALL_API int GetReassociateLaptop(ZUInstallManager::ClientSetup* request, unsigned long index,
                                       ZuEntities::ClientEntity*& entity);
// Reads entry 0's activation details, the empty text included; -1 when the block or field is absent.
ZUINSTALL_API int GetActivateClientDetails(ZUInstallManager::ClientSetup* request, std::string& details);
// Reads entry 0's client name when flag 0x2000 is set; false with name untouched otherwise or when empty.
ZUINSTALL_API bool GetUpdatedClientNames(ZUInstallManager::ClientSetup* request, std::string& name);

// ---- Request header ----------------------------------------------------------

// Tests flag 0x1000 (built-in certificate); false for a null request or absent flags.
ZUINSTALL_API bool IsBuiltinCertUsed(ZUInstallManager::ClientSetup* request);
// Tests flag 0x1000000 (client install); false for a null request or absent flags.
ZUINSTALL_API bool IsClientInstallRequest(ZUInstallManager::ClientSetup* request);
// Tests flag 0x80000 (asynchronous request); false for a null request or absent flags.
ZUINSTALL_API bool IsAsyncRequest(ZUInstallManager::ClientSetup* request);
// Tests flag 0x20000 (self-registered client); false for a null request or absent flags.
ZUINSTALL_API bool IsAutoRegisteredClient(ZUInstallManager::ClientSetup* request);
// Returns the job identifier; 0 for a null request or an absent field.
ZUINSTALL_API long long GetJobId(ZUInstallManager::ClientSetup* request);
// Returns the subscription identifier; 0 for a null request or an absent field.
ZUINSTALL_API long long GetSubcriptionID(ZUInstallManager::ClientSetup* request);
// Returns the whole 64-bit request flags; 0 for a null request or an absent field.
ZUINSTALL_API long long GetRequestFlags(ZUInstallManager::ClientSetup* request);
// Returns the request type; 0 for a null request or an absent field.
ZUINSTALL_API long long GetRequestType(ZUInstallManager::ClientSetup* request);
// Hands out the authentication block as stored; null for a null request or an absent field.
ZUINSTALL_API ZUInstallManager::ClientAuthentication* GetClientAuthentication(ZUInstallManager::ClientSetup* request);
// Reads the request's operation type unchecked (low 32 bits); -1 with type untouched when absent.
ZUINSTALL_API int GetOperationType(ZUInstallManager::ClientSetup* request, ZUInstallManager::SIMOperationType& type);
// Reads the locale, low 32 bits sign-extended; -1 with locale untouched when absent.
ZUINSTALL_API int GetlocaleID(ZUInstallManager::ClientSetup* request, unsigned long& locale);
// Reads the requesting user's identifier, sign-extended; -1 when the user block or its userId is absent.
ZUINSTALL_API int GetUserID(ZUInstallManager::ClientSetup* request, unsigned long& id);
// Reads the upgrade mode (any non-zero value is true); -1 when the options block or field is absent.
ZUINSTALL_API int GetUpgradeMode(ZUInstallManager::ClientSetup* request, bool& upgrade);
// Reads the remote-client mode (any non-zero value is true); -1 with remote untouched when absent.
ZUINSTALL_API int GetRemoteClient(ZUInstallManager::ClientSetup* request, bool& remote);
// Reads whether user authentication is requested; -1 when the options block or field is absent.
ZUINSTALL_API int IsUserAuthenticationRequested(ZUInstallManager::ClientSetup* request, bool& requested);
// Reads the request identifier's low 32 bits; -1 with id untouched when absent.
ZUINSTALL_API int GetXMLRequestID(ZUInstallManager::ClientSetup* request, int& id);
// Reads the entry's operation type unchecked (low 32 bits); -1 with type untouched when absent.
ZUINSTALL_API int GetClientOperationType(ZUInstallManager::ClientsComposition* entry,
                                         ZUInstallManager::SIMOperationType& type);
// Reads the operation type of entry `index`; -1 with type untouched when absent or no such entry.
ZUINSTALL_API int GetClientOperationType(ZUInstallManager::ClientSetup* request, unsigned long index,
                                         ZUInstallManager::SIMOperationType& type);
// Adds `flags` to the request flags (never clears a bit), creating the field when absent; -1 for a null request.
ZUINSTALL_API int UpdateRequestFlags(ZUInstallManager::ClientSetup* request, int flags);

// ---- Package selection ---------------------------------------------------------

// Hands out the entry's package vector; -1 with list untouched when components or packages are absent.
ZUINSTALL_API int GetPackageList(ZUInstallManager::ClientsComposition* entry,
                                 std::vector<ZUInstallManager::PackageInformation>*& list);
// Hands out entry `index`'s package vector; -1 with list untouched when absent or no such entry.
ZUINSTALL_API int GetPackageList(ZUInstallManager::ClientSetup* request, unsigned long index,
                                 std::vector<ZUInstallManager::PackageInformation>*& list);
// Appends entry `index`'s package identifiers above 0 to ids (not cleared first); -1 with ids untouched.
ZUINSTALL_API int GetPackageList(ZUInstallManager::ClientSetup* request, unsigned long index, std::vector<int>& ids);
// Tells whether entry `index` selects a package 802..899 (or 24 when also24); false when there is no list.
ZUINSTALL_API bool IsDBPackageSelected(ZUInstallManager::ClientSetup* request, unsigned long index, bool also24);
// Sets restoreOnly when every package of entry `index` has packageMode 0; clears it first, even on -1.
ZUINSTALL_API int IsRestoreOnlyClient(ZUInstallManager::ClientSetup* request, unsigned long index, bool& restoreOnly);

// ---- Release, version and OS ---------------------------------------------------

// Reads entry `index`'s release name; -1 with release untouched when absent or empty.
ZUINSTALL_API int GetClientReleaseString(ZUInstallManager::ClientSetup* request, unsigned long index,
                                         std::string& release);
// Reads entry `index`'s OS name and detail, each empty when absent; -1 with both untouched without osInfo.
ZUINSTALL_API int GetClientOS(ZUInstallManager::ClientSetup* request, unsigned long index, std::string& osName,
                              std::string& osDetail);
// Reads the entry's service-pack version, the empty text included; -1 when the block or field is absent.
ZUINSTALL_API int GetClientSPVersion(ZUInstallManager::ClientsComposition* entry, std::string& spVersion);
// Reads entry `index`'s service-pack version, the empty text included; -1 when absent or no such entry.
ZUINSTALL_API int GetClientSPVersion(ZUInstallManager::ClientSetup* request, unsigned long index,
                                     std::string& spVersion);
// Reads the six service-pack values, each empty or 0 when absent; -1 with all untouched without the patch block.
ZUINSTALL_API int GetClientSPFullVersion(ZUInstallManager::ClientsComposition* entry, std::string& spVersion,
                                         int& spNumber1, std::string& spText, int& spNumber2, int& spNumber3,
                                         int& spNumber4);
// Reads entry `index`'s six service-pack values, each empty or 0 when absent; -1 without the patch block.
ZUINSTALL_API int GetClientSPFullVersion(ZUInstallManager::ClientSetup* request, unsigned long index,
                                         std::string& spVersion, int& spNumber1, std::string& spText, int& spNumber2,
                                         int& spNumber3, int& spNumber4);
// Hands out the entry's patch block as stored; a present field holding no block writes null and gives -1.
ZUINSTALL_API int GetPatchInformation(ZUInstallManager::ClientsComposition* entry,
                                      ZUInstallManager::PatchInformation*& patch);

// ---- Response and status ------------------------------------------------------

// Returns the request-level error code, else entry 0's (low 32 bits); -1 when neither holds one.
ZUINSTALL_API int GetResponseErrorCode(ZUInstallManager::ClientSetup* request);
// Reads code and text of the request-level error block, else entry 0's; a top block without a code gives -1.
ZUINSTALL_API int GetResponseInfo(ZUInstallManager::ClientSetup* request, unsigned long& code, std::string& text);
// Reads the status code and text of entry `index`; an absent text leaves text as passed.
ZUINSTALL_API int GetClientStatus(ZUInstallManager::ClientSetup* request, unsigned long index, unsigned long& code,
                                  std::string& text);
// Reads the entry's status code (whole 64 bits) and text; an absent text leaves text as passed.
ZUINSTALL_API int GetClientStatus(ZUInstallManager::ClientsComposition* entry, unsigned long& code, std::string& text);
// Forwards to GetClientStatus with the same arguments.
ZUINSTALL_API int GetPushJobStatus(ZUInstallManager::ClientSetup* request, unsigned long index, unsigned long& code,
                                   std::string& text);
// Forwards to GetClientStatus with the same arguments.
ZUINSTALL_API int GetPushJobStatus(ZUInstallManager::ClientsComposition* entry, unsigned long& code, std::string& text);
// Resets the present request-level and entry-0 error codes to 0, creating nothing; -1 only for a null request.
ZUINSTALL_API int ClearSIMError(ZUInstallManager::ClientSetup* request);

// ---- Policies, groups and plans ------------------------------------------------

// Reads entry `index`'s storage policy name; an entity without a name reads as the empty text.
ZUINSTALL_API int GetStoragePolicy(ZUInstallManager::ClientSetup* request, unsigned long index, std::string& name);
// Reads the entry's storage policy name; -1 with name untouched without a components block.
ZUINSTALL_API int GetStoragePolicy(ZUInstallManager::ClientsComposition* entry, std::string& name);
// Reads the storage policy name; -1 when the settings or entity are absent, 0 for an entity without a name.
ZUINSTALL_API int GetStoragePolicy(ZUInstallManager::Components* components, std::string& name);
// Reads entry `index`'s subclient policy name; -1 with name untouched when absent.
ZUINSTALL_API int GetSubclientPolicy(ZUInstallManager::ClientSetup* request, unsigned long index, std::string& name);
// Reads the entry's subclient policy name; -1 with name untouched without a components block.
ZUINSTALL_API int GetSubclientPolicy(ZUInstallManager::ClientsComposition* entry, std::string& name);
// Reads the subclient policy name, the empty text included; -1 when the name field is absent.
ZUINSTALL_API int GetSubclientPolicy(ZUInstallManager::Components* components, std::string& name);
// Reads the first group name of entry `index`; later groups are never read.
ZUINSTALL_API int GetClientGroup(ZUInstallManager::ClientSetup* request, unsigned long index, std::string& name);
// Reads the entry's first group name; -1 with name untouched for an absent or empty list.
ZUINSTALL_API int GetClientGroup(ZUInstallManager::ClientsComposition* entry, std::string& name);
// Reads the entry's plan; an absent planId reads as 0 and an absent name as the empty text.
ZUINSTALL_API int GetSubclientPlan(ZUInstallManager::ClientsComposition* entry, int& planId, std::string& planName);
// Reads the plan; both outputs written on success, -1 with both untouched without a plan entity.
ZUINSTALL_API int GetSubclientPlan(ZUInstallManager::Components* components, int& planId, std::string& planName);
// Appends entry `index`'s non-empty associated client names; 0 only when names ends up non-empty.
ZUINSTALL_API int GetPMAssociated(ZUInstallManager::ClientSetup* request, unsigned long index,
                                  std::vector<std::string>& names);
// Appends the entry's non-empty associated client names (not cleared first); 0 only when names is non-empty.
ZUINSTALL_API int GetPMAssociated(ZUInstallManager::ClientsComposition* entry, std::vector<std::string>& names);
// Stores the storage policy name, creating only the absent blocks on its path; -1 for a null entry or name.
ZUINSTALL_API int SetStoragePolicy(ZUInstallManager::ClientsComposition* entry, const char* name);
// Stores the subclient policy name, creating only the absent blocks on its path; -1 for a null entry or name.
ZUINSTALL_API int SetSubclientPolicy(ZUInstallManager::ClientsComposition* entry, const char* name);
// Appends a client group (duplicates allowed), creating clientInfo and the list when absent; -1 for null.
ZUINSTALL_API int SetClientGroup(ZUInstallManager::ClientsComposition* entry, const char* name);

// ---- Credentials and connectivity ------------------------------------------------

// Reads entry `index`'s ZUD port (low 32 bits); no such entry leaves port untouched.
ZUINSTALL_API int GetClientZUDPort(ZUInstallManager::ClientSetup* request, unsigned long index, int& port);
// Reads the entry's ZUD port (low 32 bits); sets port to 0 first, so every failure leaves 0.
ZUINSTALL_API int GetClientZUDPort(ZUInstallManager::ClientsComposition* entry, int& port);
// Reads entry `index`'s client password as stored, the empty text included; -1 with it untouched when absent.
ZUINSTALL_API int GetClientPassword(ZUInstallManager::ClientSetup* request, unsigned long index, std::string& password);
// Reads the entry's client password as stored, the empty text included; -1 with it untouched when absent.
ZUINSTALL_API int GetClientPassword(ZUInstallManager::ClientsComposition* entry, std::string& password);
// Reads the client's password as stored, the empty text included; -1 with it untouched when absent.
ZUINSTALL_API int GetClientPassword(App::Client* client, std::string& password);
// Reads the organization's authorization code; an absent block or code gives 0 with code untouched.
ZUINSTALL_API int GetOrganizationAuthcode(ZUInstallManager::ClientSetup* request, std::string& code);
// Reads the central server's dxId (low 32 bits); -1 with id untouched when absent.
ZUINSTALL_API int GetDXID(ZUInstallManager::ClientSetup* request, int& id);
// Reads the central server's client type (low 32 bits); -1 with type untouched when absent.
ZUINSTALL_API int GetDXType(ZUInstallManager::ClientSetup* request, int& type);
// Reads the connection URL; an empty stored URL is written to url and still gives -1.
ZUINSTALL_API int GetConnectionUrl(ZUInstallManager::ClientSetup* request, std::string& url);
// Reads the network gateway; an empty stored gateway is written and still gives -1.
ZUINSTALL_API int GetiNetworkGateway(ZUInstallManager::ClientSetup* request, std::string& gateway);
// Reads entry `index`'s failover settings as the entry overload does; no such entry leaves all untouched.
ZUINSTALL_API int GetFailoverDX(ZUInstallManager::ClientSetup* request, unsigned long index, std::string& first,
                                std::string& second, bool& flag);
// Reads the failover texts present (absent ones left as passed) and the flag (false when absent).
ZUINSTALL_API int GetFailoverDX(ZUInstallManager::ClientsComposition* entry, std::string& first, std::string& second,
                                bool& flag);
// Reads the account as DOMAIN\user (user alone without a domain) and its password; -1 for an empty user.
ZUINSTALL_API int GetUserAccountToLogin(ZUInstallManager::ClientSetup* request, std::string& account,
                                        std::string& accountPassword);
// Stores the login user name whole and, unless null, the password; -1 and nothing created for a null user.
ZUINSTALL_API int SetUserAccountToLogin(ZUInstallManager::ClientSetup* request, const char* user,
                                        const char* accountPassword);
// Stores non-null texts, a non-zero number, a non-empty block; -1, nothing created, when all texts are null.
ZUINSTALL_API int SetFirewallInstall(ZUInstallManager::ClientSetup* request, const char* first, const char* second,
                                     int number, const char* configBlock);
// Reads the firewall configuration block; an empty stored block is written and still gives -1.
ZUINSTALL_API int GetiFirewallConfigBlock(ZUInstallManager::ClientSetup* request, std::string& configBlock);

// ---- Roles and environment -------------------------------------------------------

// Sets role to true when entry 0 has a non-zero network proxy role; -1 with role untouched otherwise.
ZUINSTALL_API int GetNetworkProxyRole(ZUInstallManager::ClientSetup* request, bool& role);
// Sets role to true for entry `index`'s laptop-backup role or laptopBackup setting; never writes false.
ZUINSTALL_API int GetLaptopBackupRole(ZUInstallManager::ClientSetup* request, unsigned long index, bool& role);
// Sets role to true for the laptop-backup role, else the subclient laptopBackup setting; never writes false.
ZUINSTALL_API int GetLaptopBackupRole(ZUInstallManager::ClientsComposition* entry, bool& role);
// Tells whether entry `index`'s client was discovered as a virtual machine; false when there is no such entry.
ZUINSTALL_API bool IsVirtualDiscoveredClient(ZUInstallManager::ClientSetup* request, unsigned long index);
// Tells whether the client was discovered as a virtual machine; false at the first absent link.
ZUINSTALL_API bool IsVirtualDiscoveredClient(ZUInstallManager::ClientsComposition* entry);
// Reads entry 0's VM instance id (low 32 bits); -1 with id untouched when absent.
ZUINSTALL_API int GetVMInstanceID(ZUInstallManager::ClientSetup* request, unsigned int& id);
// Reads the shared install location; a stored type without a path writes type and still gives -1.
ZUINSTALL_API int GetSharedInstallLocation(ZUInstallManager::ClientsComposition* entry, ZUInstallManager::SILType& type,
                                           std::string& path);
// Reads the appliance flag (any non-zero value is true); -1 with appliance untouched when absent.
ZUINSTALL_API int GetApplianceClient(ZUInstallManager::ClientsComposition* entry, bool& appliance);
// Reads entry 0's custom role properties; -1 with text untouched when absent or empty.
ZUINSTALL_API int GetCustomRolesProp(ZUInstallManager::ClientSetup* request, std::string& text);
// Reads the restore-only-agents mode, false included; -1 with mode untouched when absent.
ZUINSTALL_API int GetRestoreOnlyAgentsMode(ZUInstallManager::ClientSetup* request, bool& mode);
// Reads the roles-manager properties; an empty stored text is written and still gives -1.
ZUINSTALL_API int GetRolesManagerProperties(ZUInstallManager::ClientSetup* request, std::string& text);
// Reads the metrics reporting flag, false included; -1 with flag untouched when absent.
ZUINSTALL_API int GetDalvexMetricsReportingFlag(ZUInstallManager::Components* components, bool& flag);
// Reads the survey URLs present (absent ones left as passed); -1 when neither is present.
ZUINSTALL_API int GetDalvexSurveyURLs(ZUInstallManager::Components* components, std::string& first,
                                      std::string& second);

}  // namespace XmlUtils
