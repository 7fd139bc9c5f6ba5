/* Link-time stand-in for libcurl.so.4 in cross builds (see
 * CrossClientDeps.cmake): the names of the libcurl functions the array
 * client calls. Never installed, never run. */
void curl_easy_cleanup(void) {}
void curl_easy_getinfo(void) {}
void curl_easy_init(void) {}
void curl_easy_perform(void) {}
void curl_easy_setopt(void) {}
void curl_easy_strerror(void) {}
void curl_global_init(void) {}
void curl_slist_append(void) {}
void curl_slist_free_all(void) {}
