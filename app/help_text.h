// The fixed text of the help dialog (UTF-8).
#pragma once

const char *HelpText();
