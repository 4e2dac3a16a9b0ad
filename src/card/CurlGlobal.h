#pragma once
// libcurl's global set-up belongs to the whole process and is not safe to run
// from two threads at once: done once, by whichever user comes first (the
// internet session, an FTP connection), and kept until the end. False when
// it failed.
bool CurlGlobalInit();
