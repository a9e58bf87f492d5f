// Registry key and value names, each spelled once for both programs.
#pragma once

// Below HKEY_CURRENT_USER: the maker's key and its install records.
constexpr const char* kCompanyKey = "Software\\Quillmark";
constexpr const char* kInstalledFilesKey = "Software\\Quillmark\\InstalledFiles";
constexpr const char* kInstalledProductsKey = "Software\\Quillmark\\InstalledProducts";

// Below HKEY_LOCAL_MACHINE.
constexpr const char* kUninstallKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// Values of the installed-products record.
constexpr const char* kVersionValue = "Version";
constexpr const char* kFolderNameValue = "FolderName";

// Values of the Add/Remove Programs entry.
constexpr const char* kProductNameValue = "ProductName";
constexpr const char* kSubProductNameValue = "SubProductName";
constexpr const char* kFilesValue = "Files";
// How many lines of "Files" a removal that did not finish has released (REG_DWORD); written by the uninstaller only
// before a shared file's counter goes down; the setup program counts those lines again and deletes it with every new
// record.
constexpr const char* kFilesReleasedValue = "FilesReleased";
constexpr const char* kFoldersValue = "Folders";
constexpr const char* kRegKeysValue = "RegKeys";
constexpr const char* kAppNameValue = "AppName";
constexpr const char* kDelphiVerValue = "DelphiVer";
constexpr const char* kDisplayNameValue = "DisplayName";
constexpr const char* kUninstallStringValue = "UninstallString";
constexpr const char* kInstalledPathsValue = "InstalledPaths";
constexpr const char* kInstalledHelpsValue = "InstalledHelps";
// What Windows shows of an installed program, beside the values above.
constexpr const char* kQuietUninstallStringValue = "QuietUninstallString";
constexpr const char* kDisplayVersionValue = "DisplayVersion";
constexpr const char* kPublisherValue = "Publisher";
constexpr const char* kUrlInfoAboutValue = "URLInfoAbout";
constexpr const char* kInstallLocationValue = "InstallLocation";
constexpr const char* kEstimatedSizeValue = "EstimatedSize";
constexpr const char* kInstallDateValue = "InstallDate";
constexpr const char* kDisplayIconValue = "DisplayIcon";
constexpr const char* kNoModifyValue = "NoModify";
constexpr const char* kNoRepairValue = "NoRepair";
