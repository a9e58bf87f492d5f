// What the driver and its hook DLL agree on to learn a message box's icon, and the program's error mode, inside the
// program under test.
//
// An icon handle of another process cannot be compared with LoadIconA(nullptr, IDI_...) in the driver, so the driver
// hooks the box's thread (WH_GETMESSAGE) with the hook DLL, posts the query message to the box, and the hook compares
// the icon inside the program under test and leaves the answer in window properties of the box.
#pragma once

// The kinds of icon a message box shows. The values are stored in the box's property; 0 means "not answered".
enum class IconKind { Unknown = 0, None = 1, Information = 2, Warning = 3, Error = 4, Question = 5, Other = 6 };

// RegisterWindowMessageA name of the query the driver posts to the box.
constexpr const char* kIconQueryMessage = "OrvDriverIconQuery";
// Window property (SetPropA/GetPropA) in which the hook leaves the IconKind value.
constexpr const char* kIconKindProperty = "OrvDriverIconKind";
// Window property in which the hook leaves the program's GetErrorMode(); set before the icon kind, so it is there
// once that is.
constexpr const char* kErrorModeProperty = "OrvDriverErrorMode";
// The hook procedure exported undecorated by the hook DLL.
constexpr const char* kIconHookProcedure = "IconHookProc";
// File name of the hook DLL.
constexpr const char* kIconHookDllName = "orvdriverhook.dll";
