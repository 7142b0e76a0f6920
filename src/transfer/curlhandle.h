#ifndef CURLHANDLE_H
#define CURLHANDLE_H

#include <curl/curl.h>

#include <memory>

// Owning handles for libcurl's C objects.
struct CurlEasyCleanup
{
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct CurlMultiCleanup
{
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct CurlListCleanup
{
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

using CurlEasy = std::unique_ptr<CURL, CurlEasyCleanup>;
using CurlMulti = std::unique_ptr<CURLM, CurlMultiCleanup>;
using CurlList = std::unique_ptr<curl_slist, CurlListCleanup>;

#endif
