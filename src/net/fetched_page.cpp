#include "net/fetched_page.h"

#include "text/text_codec.h"

namespace quillrank {

GbkText transport_reason(const FetchedPage& page) {
  const auto gbk = [](std::string_view utf8) { return utf8_to_gbk_text(utf8); };
  switch (page.transport) {
    case Transport::not_sent:
      return gbk("地址无效或过长，请求未发送");
    case Transport::cut_off:
      return gbk("页面在传输中途中断");
    case Transport::too_long:
      return gbk("页面过大，超过上限");
    case Transport::refused_redirect:
      return concat_text(gbk("未跟随指向本机或内网地址的重定向 "),
                         page.redirects.empty() ? std::string() : page.redirects.back());
    case Transport::stopped:
      return gbk("已停止");
    case Transport::failed:
    case Transport::complete:
      break;
  }
  return concat_text(gbk("连接失败"), page.error.empty() ? "" : " (" + page.error + ")");
}

}  // namespace quillrank
