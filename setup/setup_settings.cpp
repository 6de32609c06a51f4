#include "setup/setup_settings.h"

#include "common/paths.h"
#include "common/unique_resource.h"
#include "setup/installer_search.h"

#include <windows.h>
#include <msxml2.h>
#include <oleauto.h>
#include <wrl/client.h>

namespace setup {

namespace {

using Microsoft::WRL::ComPtr;

// No import library carries it.
// MSXML 3's DOMDocument, the class "MSXML.DOMDocument" names.
const CLSID kDomDocumentClass = {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kDocument2Interface = {0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

VARIANT TrueVariant()
{
    VARIANT value;
    ::VariantInit(&value);
    value.vt = VT_BOOL;
    value.boolVal = VARIANT_TRUE;
    return value;
}

// msxml.h declares no __uuidof for its interfaces.
bool AsElement(IXMLDOMNode* node, ComPtr<IXMLDOMElement>& element)
{
    return SUCCEEDED(node->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(element.GetAddressOf())));
}

// The only element of that name below the node, or null when there is none
// or more than one.
template <typename Node>
ComPtr<IXMLDOMElement> SingleElement(Node* node, const wchar_t* name)
{
    ComPtr<IXMLDOMNodeList> list;
    const common::UniqueBstr tag(::SysAllocString(name));
    long count = 0;
    if (node->getElementsByTagName(tag.get(), &list) != S_OK || !list || list->get_length(&count) != S_OK ||
        count != 1) {
        return nullptr;
    }
    ComPtr<IXMLDOMNode> item;
    ComPtr<IXMLDOMElement> element;
    if (list->get_item(0, &item) != S_OK || !item || !AsElement(item.Get(), element)) {
        return nullptr;
    }
    return element;
}

// An attribute as text; false when it is missing.
bool AttributeText(IXMLDOMElement* element, const wchar_t* name, std::wstring& text)
{
    common::UniqueVariant value;
    common::UniqueVariant converted;
    const common::UniqueBstr attribute(::SysAllocString(name));
    if (FAILED(element->getAttribute(attribute.get(), value.put()))) {
        return false;
    }
    VARIANT read = value.get();
    if (FAILED(::VariantChangeType(converted.put(), &read, 0, VT_BSTR))) {
        return false;
    }
    const BSTR bstr = converted.get().bstrVal;
    text.assign(bstr ? bstr : L"", bstr ? ::SysStringLen(bstr) : 0);
    return true;
}

}  // namespace

std::wstring ConfigurationPath(const std::wstring& programPath)
{
    if (programPath.empty()) {
        return std::wstring();
    }
    const size_t stop = programPath.rfind(L'.');
    return programPath.substr(0, stop) + L".config";
}

void LoadSetupSettings(const std::wstring& path, SetupSettings& settings)
{
    // By its class ID and in-process only: a ProgID is looked up in the
    // registry, where the current user's classes come first, and an
    // out-of-process server would parse the media's file outside this
    // process.
    ComPtr<IXMLDOMDocument> document;
    if (FAILED(::CoCreateInstance(kDomDocumentClass, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                  reinterpret_cast<void**>(document.GetAddressOf())))) {
        return;
    }

    // The media may come from anywhere: no document type definitions (entity
    // bombs) and nothing fetched from outside (external entities).
    ComPtr<IXMLDOMDocument2> strictDocument;
    const common::UniqueBstr prohibitDtd(::SysAllocString(L"ProhibitDTD"));
    if (FAILED(document->QueryInterface(kDocument2Interface, reinterpret_cast<void**>(strictDocument.GetAddressOf()))) ||
        FAILED(strictDocument->setProperty(prohibitDtd.get(), TrueVariant())) ||
        FAILED(document->put_resolveExternals(VARIANT_FALSE)) || FAILED(document->put_validateOnParse(VARIANT_FALSE))) {
        return;
    }

    VARIANT sourcePath = {};
    sourcePath.vt = VT_BSTR;
    sourcePath.bstrVal = ::SysAllocString(path.c_str());
    const common::UniqueVariant source(sourcePath);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (document->load(source.get(), &loaded) != S_OK || loaded != VARIANT_TRUE) {
        return;
    }

    ComPtr<IXMLDOMElement> configuration = SingleElement(document.Get(), L"configuration");
    ComPtr<IXMLDOMElement> appSettings = configuration ? SingleElement(configuration.Get(), L"appSettings") : nullptr;
    if (!appSettings) {
        return;
    }
    ComPtr<IXMLDOMNodeList> adds;
    const common::UniqueBstr addTag(::SysAllocString(L"add"));
    long count = 0;
    if (appSettings->getElementsByTagName(addTag.get(), &adds) != S_OK || !adds ||
        adds->get_length(&count) != S_OK) {
        return;
    }
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> item;
        ComPtr<IXMLDOMElement> add;
        std::wstring key;
        std::wstring value;
        if (adds->get_item(i, &item) == S_OK && item && AsElement(item.Get(), add) &&
            AttributeText(add.Get(), L"key", key) && AttributeText(add.Get(), L"value", value)) {
            settings.emplace(key, value);  // an existing key keeps its first value
        }
    }
}

const SetupSettings& GetSetupSettings()
{
    static const SetupSettings settings = [] {
        SetupSettings loaded;
        const std::wstring path = ConfigurationPath(common::ProgramPath(kProgramPathUnits));
        if (!path.empty()) {
            LoadSetupSettings(path, loaded);
        }
        return loaded;
    }();
    return settings;
}

}  // namespace setup
