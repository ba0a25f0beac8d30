# The resources of Corvane's executable, shared by the Windows build (compiled into the
# program by windres) and the Linux build (embedded as data by cmake/CorvaneResources.cmake).
#
# One entry per resource: "TYPE|NAME|FILE", FILE relative to this folder or, for a generated
# file, its full path. A TYPE or NAME of digits only is a number (24 is RT_MANIFEST, 23
# RT_HTML); any other is a name of letters, digits, _ . and -, matched without regard to case
# as FindResource does. Adding a resource is one line here.
#
# Strings of the string table: "ID|TEXT", UTF-8; \n in TEXT is a line break.
#
# The version resource lives in corvane.rc: Linux builds do not carry it.

list(APPEND CORVANE_RESOURCES
  "24|1|corvane.manifest"
  # The built-in configuration, generated from item.xml.in with the values of bank.cmake.
  "23|ITEM.XML|${CORVANE_GENERATED_DIR}/res/item.xml"
  # The page the dialog shows (res://<program>/104) and what it loads by relative address:
  # "js/jquery.min.js" is type JS, "images/x.gif" type IMAGES. Made by scripts/make_jquery.js
  # and scripts/make_page_art.py.
  "23|104|page/index.html"
  "JS|JQUERY.MIN.JS|page/js/jquery.min.js"
  "IMAGES|A.GIF|page/images/a.gif"
  "IMAGES|APPBG.JPG|page/images/appbg.jpg"
  "IMAGES|B.GIF|page/images/b.gif"
  "IMAGES|BRAND.GIF|page/images/brand.gif"
  "IMAGES|BRAND2.GIF|page/images/brand2.gif"
  "IMAGES|GRAYBG.GIF|page/images/graybg.gif"
  "IMAGES|HELP.GIF|page/images/help.gif"
  "IMAGES|LOADING.GIF|page/images/loading.gif"
  "IMAGES|LONGBRAND.GIF|page/images/longbrand.gif"
  "IMAGES|SPS.GIF|page/images/sps.gif"
  "IMAGES|SUPERSCAN.GIF|page/images/superscan.gif"
  "IMAGES|TABS.GIF|page/images/tabs.gif"
  "IMAGES|TABS.PNG|page/images/tabs.png"
  "IMAGES|V.GIF|page/images/v.gif"
  "IMAGES|X.GIF|page/images/x.gif"
  "ICON|128|page/corvane.ico"
  # The CFCA certificates that item 4 installs. ROOT_CA is the real root; the other four are
  # stand-ins made by scripts/make_standin_certs.sh until the CFCA files replace them.
  "CER|ROOT_CA|certs/ROOT_CA.cer"
  "CER|POLICY_CA|certs/POLICY_CA.cer"
  "CER|OPERATION_CA|certs/OPERATION_CA.cer"
  "CER|OPERATION_CA1|certs/OPERATION_CA1.cer"
  "CER|OPERATION_CA2|certs/OPERATION_CA2.cer"
)

list(APPEND CORVANE_STRINGS
  "135|IE缓存清除成功"
  "136|Marrowby银行网银助手"
  "139|应用程序有更新，并且已经下载完毕\n是否立即应用更新"
  "141|SSL缓存清除成功"
  "142|更新程序"
  "143|立即更新程序"
  "144|下次启动更新"
  "145|下载失败，是否继续下一个"
  "146|下载发生错误"
  "147|继续下载下一项"
  "148|停止下载"
  "149|安装失败，是否继续下一个"
  "150|安装时发生了一个错误"
  "151|继续安装下一项"
  "152|停止安装"
  "155|下载配置文件失败，请确认你的电脑能够访问银行网站"
  # The window host, when Internet Explorer's HTML engine is missing and no page can show.
  "160|无法显示网银助手的页面：这台电脑上的Internet Explorer网页组件不可用，程序将退出。"
)
