// Hex text conversion.
#pragma once
