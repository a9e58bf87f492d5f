// Which of the IDE editions the configuration lists the installation goes into.
#pragma once

// Among the listed editions whose IDE is installed: interactive, with two or more of them, the user chooses in the
// "Select IDEs" dialog; unattended, /IDE= names them (";" or "," between codes), else all of them. With none
// installed, the first listed edition is used as a setup for one edition uses it. Sets Editions, Edition (the first
// chosen), HelpContentsFile and HelpDir. False when the user cancelled, or when /IDE= names an edition that is not
// listed or not installed (unattended; the log says why).
bool ChooseEditions();
