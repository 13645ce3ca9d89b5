// Everything tests need to start real peers on 127.0.0.1: see each header.
#pragma once

#include "peers/FtpServers.h"
#include "peers/NetworkNamespace.h"
#include "peers/PeerClient.h"
#include "peers/PeerSupport.h"
#include "peers/Proxies.h"
#include "peers/RecordingRelay.h"
#include "peers/ScriptedPeer.h"
#include "peers/ScriptedTlsFtp.h"
#include "peers/TlsCert.h"
#include "peers/XvfbDisplay.h"
