// The enciphered, word-compressed true/false question files.
#pragma once

bool IndexQuestionFiles();
