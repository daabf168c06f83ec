#pragma once

#include "toolkit/CharacterSet.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <optional>

// --charset NAME: the character set a listing's bytes are drawn in.
QCommandLineOption charsetOption();

// The set that --charset names, pc1600 when it is not given; nothing when
// the name is unknown, with the usage error's reason, which lists the names.
std::optional<CharacterSet> charsetOf(const QCommandLineParser &parser, QString &error);
